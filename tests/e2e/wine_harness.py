"""Runs the real vexissetup.exe under Wine on a virtual X display.

One WineSession per test run: it creates the Wine prefix once (reused by later
runs), starts Xvfb on a free display and keeps one wineserver alive, so that a
program starts in tens of milliseconds. Programs run through runexit.exe, which
prints their full 32-bit exit code; boxhelper.exe reads and answers their
dialog windows. Both are built by the Windows build next to vexissetup.exe.

Which builds are tested: each script's __main__ calls main(), which asks once
whether this machine runs 32-bit programs (by running Wine's 32-bit loader) and
runs the script once per build it can run, a leg: the i686 exe in a 64-bit
(WoW64) prefix through the wine launcher, and the x64 exe in a prefix of its
own under wine64; where no 32-bit program runs, the x64 leg alone. Inside a leg,
session(), session.exe() and skip_unless_built() refer to that leg's build.

Configuration (environment variables):
  E2E_WINDOWS_BUILD_DIR      the i686 build: vexissetup.exe, runexit.exe, boxhelper.exe...
  E2E_WINDOWS_X64_BUILD_DIR  the x64 build (default: the i686 folder + "-x64")
  E2E_WINE_PREFIX            the i686 leg's Wine prefix; the x64 leg's is this + "-x64",
                             the 32-bit Windows one (win32_session) this + "-win32"
  E2E_SCREENSHOT_DIR         where screenshots go (the x64 leg's in its subfolder x64)
  E2E_BUILD                  i686 or x64: that leg alone (i686 where 32-bit programs
                             do not run is a failure)
  E2E_32BIT_PROBE            the i386 program the probe runs (default /usr/lib/wine/wine)
  E2E_SEQUENTIAL_LEGS        when set, the legs run one after the other (else at once)
  E2E_WINEDEBUG              WINEDEBUG for the Wine processes (default -all)
  E2E_VERBOSE                when set, the session logs what it does with timings

A scenario:
    session = wine_harness.session()          # started once, stopped at exit
    session.reset()                           # end stray processes
    run = session.run(session.exe("vexissetup.exe"), ["-help"])
    box = run.wait_box()                      # Box: caption, text, buttons
    run.screenshot("help")
    run.press(wine_harness.IDOK)
    result = run.wait_exit()                  # Result: code, stdout
    # a silent run: run.assert_no_box() watches until the program ended

Timings on this kind of machine (2 cores): prefix creation 8-25 s (once),
reset() 1.3-2.5 s (wineserver -k, restart, Wine's services), a run to its
first box 0.2-0.4 s, a whole box scenario about 2 s after the reset.

Rules of thumb: call session.reset() at the start of every scenario; assert
on button ids (IDYES...), not on their texts (Wine's are English); press()
waits until the box closed, so the next wait_box() cannot see the old one.
"""

import atexit
import ctypes
import fcntl
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

# Dialog button ids (winuser.h).
IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO = 1, 2, 3, 4, 5, 6, 7

DEFAULT_TIMEOUT = 60.0
SCREEN = "1280x1024x24"


class HarnessError(AssertionError):
    """A scenario step failed; the message says what was on screen."""


def _log(message):
    if os.environ.get("E2E_VERBOSE"):
        sys.stderr.write("[wine_harness %.3f] %s\n" % (time.monotonic(), message))
        sys.stderr.flush()


class Box:
    """A dialog window of the program under test, as boxhelper.exe read it."""

    def __init__(self, data):
        self.data = data
        self.caption = data.get("caption", "")
        self.text = data.get("text", "")
        self.message_box = data.get("message_box", False)
        self.buttons = [(b["id"], b["text"]) for b in data.get("buttons", [])]
        self.button_ids = sorted(b["id"] for b in data.get("buttons", []))
        self.default_button = data.get("default_button", -1)
        self.controls = data.get("controls", [])
        self.rect = data.get("rect", [0, 0, 0, 0])
        self.pid = data.get("pid", 0)

    def control(self, control_id):
        """The control with that id (a dict: id, class, text, style, visible, enabled, checked)."""
        for control in self.controls:
            if control["id"] == control_id:
                return control
        raise HarnessError("no control %d in the dialog:\n%s" % (control_id, self))

    def __str__(self):
        lines = ["caption: %r" % self.caption, "text: %r" % self.text,
                 "buttons: %r (default %d)" % (self.buttons, self.default_button)]
        if not self.message_box:
            for c in self.controls:
                lines.append("  control %d %s %r visible=%s enabled=%s checked=%s" % (
                    c["id"], c["class"], c["text"], c["visible"], c["enabled"], c["checked"]))
        return "\n".join(lines)

    __repr__ = __str__


class Result:
    """How a program run ended: its full exit code and what it printed."""

    def __init__(self, code, stdout, timed_out=False, start_error=None):
        self.code = code
        self.stdout = stdout
        self.timed_out = timed_out
        self.start_error = start_error

    def __repr__(self):
        return "Result(code=%r, start_error=%r, timed_out=%r)" % (self.code, self.start_error, self.timed_out)


_started = []  # the sessions of this process that were started and not stopped


def _end_on_sigterm(signum, frame):
    # sys.exit() here would not do: unittest takes the SystemExit for the error of the test that
    # was running and goes on with the next one.
    for started in list(_started):
        started.stop()
    sys.stdout.flush()
    sys.stderr.flush()
    os._exit(128 + signum)


def to_windows_path(path):
    """A Linux path as the Windows programs in the prefix see it (drive Z: is /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WineSession:
    def __init__(self, windows_build_dir, prefix, screenshot_dir=None, loader="wine", arch="win64", program_view=32):
        """loader: what starts every Windows program of the prefix (the wine launcher, or WINE64 where
        nothing may go through the 32-bit loader); arch: WINEARCH of the prefix (win64 or win32);
        program_view: the registry view (32 or 64) that the build's programs read, None in a win32
        prefix, which has only one."""
        self.build_dir = os.path.abspath(windows_build_dir)
        self.prefix = os.path.abspath(prefix)
        self.screenshot_dir = os.path.abspath(screenshot_dir or os.path.join(self.prefix, "..", "screenshots"))
        self.loader = loader
        self.arch = arch
        self.program_view = program_view
        self.display = None
        self._xvfb = None
        self._lock_file = None
        self._runs = []
        self.timings = {}

    # ----- life cycle -----

    def start(self):
        """Takes the prefix's lock, creates the prefix if needed, starts Xvfb and a persistent wineserver."""
        os.makedirs(os.path.dirname(self.prefix), exist_ok=True)
        os.makedirs(self.screenshot_dir, exist_ok=True)
        self._lock_file = open(self.prefix + ".lock", "w")
        fcntl.flock(self._lock_file, fcntl.LOCK_EX)
        _fixed_address_layout()
        for tool in ("runexit.exe", "boxhelper.exe"):
            if not os.path.isfile(os.path.join(self.build_dir, tool)):
                raise HarnessError("%s is missing in %s: build the Windows build first" % (tool, self.build_dir))
        self._ensure_prefix()
        self._start_xvfb()
        atexit.register(self.stop)
        _started.append(self)
        if threading.current_thread() is threading.main_thread():
            # SIGTERM (a leg whose parent script was ended, or a test runner's timeout): clean up
            # and end at once.
            signal.signal(signal.SIGTERM, _end_on_sigterm)
        # A run that was killed may have left its wineserver and programs behind.
        self._end_all()
        self._start_wineserver()
        return self

    def stop(self):
        """Ends every Wine process of the prefix, the wineserver and Xvfb."""
        if self._lock_file is None:
            return
        self._end_all()
        if self._xvfb is not None:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
            self._xvfb = None
        self._lock_file.close()
        self._lock_file = None
        _started.remove(self)

    def reset(self):
        """Ends stray Windows processes (a box left open by an earlier scenario) and restarts the wineserver."""
        t0 = time.monotonic()
        self._end_all()
        self._start_wineserver()
        self.timings["reset"] = time.monotonic() - t0
        _log("reset took %.2f s" % self.timings["reset"])

    def _end_all(self):
        self._wineserver("-k", check=False)
        self._wineserver("-w", check=False, timeout=DEFAULT_TIMEOUT)
        for run in self._runs:
            run._close()
        self._runs = []

    def _ensure_prefix(self):
        marker = os.path.join(self.prefix, ".e2e-ready")
        if os.path.exists(marker):
            return
        t0 = time.monotonic()
        if os.path.exists(self.prefix):
            shutil.rmtree(self.prefix)  # left half-made by an interrupted run
        env = self.wine_env()
        env.pop("DISPLAY", None)
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml="  # no Mono or Gecko download prompts
        _run_checked([self.loader, "wineboot", "-i"], env, "creating the Wine prefix %s" % self.prefix, timeout=300)
        _run_checked([self.loader, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f"],
                     env, "configuring the X11 driver")
        _run_checked(["wineserver", "-k"], env, "stopping the wineserver", check=False)
        _run_checked(["wineserver", "-w"], env, "waiting for the wineserver", check=False)
        with open(marker, "w") as f:
            f.write("created by wine_harness\n")
        self.timings["prefix"] = time.monotonic() - t0
        _log("prefix created in %.1f s" % self.timings["prefix"])

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True, preexec_fn=_die_with_parent)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + DEFAULT_TIMEOUT
        while not number.endswith(b"\n"):
            if time.monotonic() > deadline or self._xvfb.poll() is not None:
                raise HarnessError("Xvfb did not start (exit %r)" % self._xvfb.poll())
            chunk = os.read(read_end, 16)
            if not chunk:
                raise HarnessError("Xvfb closed its display pipe without a display number")
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        _log("Xvfb on %s" % self.display)

    def _start_wineserver(self):
        # The persistent server forks itself into the background once it is ready; the daemon keeps
        # the standard handles it was given, so they must not be pipes that someone waits on.
        t0 = time.monotonic()
        code = subprocess.call(["wineserver", "-p"], env=self.wine_env(), stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=DEFAULT_TIMEOUT)
        if code != 0:
            raise HarnessError("wineserver -p failed (exit %d) for %s" % (code, self.prefix))
        # The first program after a server start also starts Wine's own services (about 0.5 s); one
        # program here, with no pipes to inherit, leaves them running for the scenario.
        subprocess.call([self.loader, self.exe("boxhelper.exe"), "list"], env=self.wine_env(),
                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                        timeout=DEFAULT_TIMEOUT)
        _log("wineserver -p and services: %.3f s" % (time.monotonic() - t0))

    def _wineserver(self, option, check, timeout=30):
        _run_checked(["wineserver", option], self.wine_env(), "wineserver %s" % option, check=check, timeout=timeout)

    def wine_env(self, extra=None):
        """The Linux environment for a wine command in this session's prefix."""
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": self.prefix,
            "WINEARCH": self.arch,
            "WINEDEBUG": os.environ.get("E2E_WINEDEBUG", "-all"),
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
        })
        if self.display:
            env["DISPLAY"] = self.display
        if extra:
            env.update(extra)
        return env

    # ----- programs -----

    def exe(self, name):
        """The Linux path of a program in the Windows build folder."""
        return os.path.join(self.build_dir, name)

    def run(self, program, args=(), env=None, cwd=None, cmdline=None, timeout=None):
        """Starts program (a Linux path, converted to Z:\\...) with args through runexit.exe, in the background.

        args are joined into a Windows command line with the usual quoting; pass cmdline instead (a str,
        the whole command line after the program name, taken verbatim) for exact control of quotes.
        env: Windows environment variables to set (e.g. TMP, TEMP); cwd: Linux or Windows folder.
        timeout: seconds after which runexit ends the program. Returns a Run."""
        program_path = program if program[1:2] == ":" else to_windows_path(program)
        tail = cmdline if cmdline is not None else windows_command_line(args)
        command_line = _quote_argument(program_path) + (" " + tail if tail else "")
        options = []
        for name, value in (env or {}).items():
            options += ["--env", "%s=%s" % (name, value)]
        if cwd:
            options += ["--cwd", cwd if cwd[1:2] == ":" else to_windows_path(cwd)]
        if timeout:
            options += ["--timeout", str(int(timeout))]
        # The tail after "--" is taken verbatim by runexit; a file carries it past the wine launcher,
        # which would re-quote separate arguments.
        os.makedirs(os.path.join(self.prefix, "..", "cmdlines"), exist_ok=True)
        cmdline_file = os.path.join(self.prefix, "..", "cmdlines", "run-%d-%d.txt" % (os.getpid(), len(self._runs)))
        with open(cmdline_file, "w", encoding="utf-8") as f:
            f.write(command_line)
        argv = [self.loader, self.exe("runexit.exe")] + options + ["--cmdline-file", to_windows_path(cmdline_file)]
        run = Run(self, argv, command_line)
        self._runs.append(run)
        return run

    def run_wine(self, args, timeout=DEFAULT_TIMEOUT, check=False):
        """Runs `wine ARGS...` (the session's loader) to its end (e.g. a built-in tool); returns the
        CompletedProcess (text)."""
        return _run_checked([self.loader] + list(args), self.wine_env(), "wine " + " ".join(args), check=check,
                            timeout=timeout)

    def boxhelper(self, args, timeout=DEFAULT_TIMEOUT):
        """Runs boxhelper.exe with args; returns (exit code, parsed JSON)."""
        proc = _run_captured([self.loader, self.exe("boxhelper.exe")] + list(args), self.wine_env(), timeout + 30)
        text = proc.stdout.decode("utf-8", "replace").strip()
        try:
            data = json.loads(text.splitlines()[-1]) if text else {}
        except ValueError:
            raise HarnessError("boxhelper printed no JSON (exit %d): %r\nstderr: %s" % (
                proc.returncode, text, proc.stderr.decode("utf-8", "replace")[-2000:]))
        if proc.returncode == 2:
            raise HarnessError("boxhelper %s failed: %s" % (" ".join(args), data.get("error", text)))
        return proc.returncode, data

    def windows(self):
        """The visible top-level windows of the prefix: dicts with hwnd, pid, class, caption, rect."""
        return self.boxhelper(["list"])[1].get("windows", [])

    def describe_screen(self):
        """A few lines saying which windows are on screen, for failure messages."""
        try:
            windows = self.windows()
        except Exception as error:  # the message should still say something
            return "(could not list the windows: %s)" % error
        if not windows:
            return "no window on screen"
        lines = ["windows on screen:"]
        for w in windows:
            lines.append("  pid %s class %r caption %r" % (w["pid"], w["class"], w["caption"]))
            if w["class"] == "#32770":
                code, data = self.boxhelper(["wait", "--timeout", "0", "--caption", w["caption"]], timeout=10)
                if code == 0:
                    lines.append("    text %r buttons %r" % (data.get("text"), data.get("buttons")))
        return "\n".join(lines)

    # ----- screen -----

    def screenshot(self, name, rect=None):
        """Saves the screen (or the rectangle [left, top, right, bottom]) as <screenshot dir>/<name>.png."""
        path = name if os.path.isabs(name) else os.path.join(self.screenshot_dir, name + ".png")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        command = ["import", "-display", self.display, "-window", "root"]
        if rect:
            left, top = max(rect[0], 0), max(rect[1], 0)
            command += ["-crop", "%dx%d+%d+%d" % (rect[2] - left, rect[3] - top, left, top), "+repage"]
        _run_checked(command + [path], dict(os.environ), "taking a screenshot", timeout=DEFAULT_TIMEOUT)
        return path

    # ----- registry -----

    def reg_query(self, key, value=None, view=None):
        """Reads a registry key of the prefix, live from the running wineserver.

        Returns None when the key does not exist, else a dict {value name: (type, data)} with the
        default value named "": REG_SZ and REG_EXPAND_SZ give str, REG_DWORD and REG_QWORD int,
        REG_MULTI_SZ a list of str, other types bytes. With value, returns only that (type, data) pair,
        or None when the value is missing. view: 32 or 64 for /reg:32 or /reg:64.
        (`reg export` is used: `reg query` prints non-ASCII text as question marks.)"""
        export_dir = os.path.join(self.prefix, "..", "regexport")
        os.makedirs(export_dir, exist_ok=True)
        path = os.path.join(export_dir, "query-%d.reg" % os.getpid())
        args = ["reg", "export", key, to_windows_path(path), "/y"]
        if view:
            args.append("/reg:%d" % view)
        proc = self.run_wine(args)
        if proc.returncode != 0:
            return None
        with open(path, "rb") as f:
            values = parse_reg_export(f.read().decode("utf-16"), key)
        os.remove(path)
        if value is not None:
            return values.get(value)
        return values

    def reg_add(self, key, value=None, data=None, kind="REG_SZ", view=None):
        """Writes a registry value (or creates a key when value is None) with `wine reg add`."""
        args = ["reg", "add", key]
        if value is not None:
            args += (["/v", value] if value else ["/ve"]) + ["/t", kind, "/d", str(data)]
        if view:
            args.append("/reg:%d" % view)
        self.run_wine(args + ["/f"], check=True)

    def reg_delete(self, key, value=None, view=None):
        """Deletes a key or one value; a missing one is no error."""
        args = ["reg", "delete", key] + (["/v", value] if value is not None else [])
        if view:
            args.append("/reg:%d" % view)
        self.run_wine(args + ["/f"])


class Run:
    """A program started by WineSession.run, running in the background."""

    def __init__(self, session, argv, command_line):
        self.session = session
        self.command_line = command_line
        self.pid = None
        self.created = None
        self._lines = []
        self._exit_line = None
        self._changed = threading.Condition()
        self._result = None
        self._started = time.monotonic()
        self._proc = subprocess.Popen(argv, env=session.wine_env(), stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, start_new_session=True)
        self._stderr = []
        self._readers = [threading.Thread(target=self._read_stdout, daemon=True),
                         threading.Thread(target=self._read_stderr, daemon=True)]
        for reader in self._readers:
            reader.start()
        self._wait_started()

    def _read_stdout(self):
        for raw in self._proc.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            with self._changed:
                if line.startswith("RUNEXIT_CREATED="):
                    self.created = line.split("=", 1)[1]
                elif line.startswith("RUNEXIT_PID="):
                    self.pid = int(line.split("=", 1)[1])
                elif line.startswith(("RUNEXIT_EXIT=", "RUNEXIT_START_ERROR=", "RUNEXIT_TIMEOUT=")):
                    self._exit_line = line
                else:
                    self._lines.append(line)
                self._changed.notify_all()
        with self._changed:
            self._changed.notify_all()

    def _read_stderr(self):
        for raw in self._proc.stderr:
            self._stderr.append(raw.decode("utf-8", "replace"))
            del self._stderr[:-200]

    def _wait_started(self):
        with self._changed:
            ok = self._changed.wait_for(
                lambda: self.pid is not None or self._exit_line is not None or self._proc.poll() is not None,
                DEFAULT_TIMEOUT)
        if not ok:
            raise HarnessError("runexit did not start %s within %d s" % (self.command_line, DEFAULT_TIMEOUT))
        # A start error (no pid) is reported by wait_exit as Result.start_error.
        _log("started %s as pid %s in %.3f s" % (self.command_line, self.pid, time.monotonic() - self._started))

    def _watch_args(self):
        args = ["--while-pid", str(self.pid)]
        return args + (["--created", self.created] if self.created else [])

    def _close(self):
        # Called once the wineserver has ended every Windows process, so the pipes reach their end.
        if self._proc.poll() is None:
            try:
                os.killpg(self._proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self._proc.wait()
        for reader in self._readers:
            reader.join(10)
        self._proc.stdout.close()
        self._proc.stderr.close()

    def wait_line(self, prefix, timeout=DEFAULT_TIMEOUT):
        """Waits until the program printed a line starting with prefix and returns it."""
        def found():
            return next((line for line in self._lines if line.startswith(prefix)), None)
        with self._changed:
            ok = self._changed.wait_for(lambda: found() is not None or self._exit_line is not None or
                                        self._proc.poll() is not None, timeout)
            line = found()
        if not ok or line is None:
            raise self._failure("no line %r within %d s" % (prefix, timeout))
        return line

    def running(self):
        """Whether the program has not ended yet."""
        with self._changed:
            return self._exit_line is None and self._proc.poll() is None

    def stderr_tail(self):
        return "".join(self._stderr)[-3000:]

    def _failure(self, what):
        shot = None
        try:
            shot = self.session.screenshot("failure-%d" % int(time.time() * 1000))
        except Exception:
            pass
        state = "still running" if self.running() else "ended: %s" % (self._exit_line or "no exit line")
        return HarnessError("%s\nprogram: %s (pid %s, %s)\n%s\nscreenshot: %s\nstdout: %r\nstderr: %s" % (
            what, self.command_line, self.pid, state, self.session.describe_screen(), shot, self._lines,
            self.stderr_tail()))

    # ----- boxes -----

    def wait_box(self, caption=None, window_class=None, timeout=DEFAULT_TIMEOUT):
        """Waits for a dialog window (class #32770 unless caption or window_class say otherwise) and
        returns it as a Box. Also stops waiting, with a failure, when the program ends first."""
        args = ["wait", "--timeout", str(timeout)]
        if caption is not None:
            args += ["--caption", caption]
        if window_class is not None:
            args += ["--class", window_class]
        if self.pid is not None:
            args += self._watch_args()
        t0 = time.monotonic()
        code, data = self.session.boxhelper(args, timeout)
        if code != 0:
            raise self._failure("no dialog%s appeared (%s after %.1f s)" % (
                " captioned %r" % caption if caption is not None else "", data.get("reason"),
                time.monotonic() - t0))
        self.last_box = Box(data)
        _log("box %r after %.3f s" % (self.last_box.caption, time.monotonic() - t0))
        return self.last_box

    def press(self, control_id, caption=None, wait_close=True, via_command=False, timeout=DEFAULT_TIMEOUT):
        """Clicks a button (an id such as IDYES) of the dialog; by default waits until the dialog closed."""
        args = ["press", str(control_id), "--timeout", str(timeout)]
        if caption is not None:
            args += ["--caption", caption]
        if wait_close:
            args.append("--wait-close")
        if via_command:
            args.append("--command")
        code, data = self.session.boxhelper(args, timeout)
        if code != 0:
            raise self._failure("pressing %d failed: %s" % (control_id, data.get("reason") or
                                                            "the dialog stayed open"))
        return Box(data["window"])

    def key(self, key, caption=None, wait_close=False, timeout=DEFAULT_TIMEOUT):
        """Sends one key (RETURN, ESCAPE, TAB, SPACE, arrows, a letter) to the dialog's focused control."""
        args = ["key", key, "--timeout", str(timeout)] + (["--caption", caption] if caption is not None else [])
        if wait_close:
            args.append("--wait-close")
        code, data = self.session.boxhelper(args, timeout)
        if code != 0:
            raise self._failure("key %s failed: %s" % (key, data.get("reason") or "the dialog stayed open"))

    def set_text(self, control_id, text, caption=None, timeout=DEFAULT_TIMEOUT):
        """Replaces the text of a control (an edit box) of the dialog."""
        args = ["settext", str(control_id), text, "--timeout", str(timeout)]
        if caption is not None:
            args += ["--caption", caption]
        self.session.boxhelper(args, timeout)

    def screenshot(self, name, box=None):
        """Saves the screen as <screenshot dir>/<name>.png and the box alone as <name>-box.png."""
        path = self.session.screenshot(name)
        box = box or getattr(self, "last_box", None)
        if box is not None:
            self.session.screenshot(name + "-box", rect=box.rect)
        return path

    def assert_no_box(self, timeout=DEFAULT_TIMEOUT):
        """Watches until the program ends and fails if any dialog window appeared meanwhile."""
        args = ["wait", "--timeout", str(timeout)]
        if self.pid is not None:
            args += self._watch_args()
        code, data = self.session.boxhelper(args, timeout)
        if code == 0:
            box = Box(data)
            raise self._failure("a dialog appeared where none should:\n%s" % box)
        if data.get("reason") != "process-ended" and self.pid is not None:
            raise self._failure("the program did not end within %d s" % timeout)

    # ----- end -----

    def wait_exit(self, timeout=DEFAULT_TIMEOUT):
        """Waits for the program's end; returns a Result with the full exit code and its stdout lines."""
        if self._result is not None:
            return self._result
        with self._changed:
            ended = self._changed.wait_for(lambda: self._exit_line is not None or self._proc.poll() is not None,
                                           timeout)
            if ended:
                # runexit may be gone while its last line is still on the way through the pipe.
                self._changed.wait_for(lambda: self._exit_line is not None, 10)
        if not ended:
            raise self._failure("the program did not end within %d s" % timeout)
        try:
            self._proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise self._failure("runexit did not end after the program ended")
        with self._changed:
            line = self._exit_line
        if line is None:
            raise self._failure("runexit ended (%d) without an exit line" % self._proc.returncode)
        name, value = line.split("=", 1)
        value = int(value)
        if name == "RUNEXIT_EXIT":
            self._result = Result(value, list(self._lines))
        elif name == "RUNEXIT_START_ERROR":
            self._result = Result(None, list(self._lines), start_error=value)
        else:
            self._result = Result(None, list(self._lines), timed_out=True)
        _log("ended %r after %.3f s" % (self._result, time.monotonic() - self._started))
        return self._result


def windows_command_line(args):
    """Joins arguments the way the C runtime splits them again."""
    return " ".join(_quote_argument(a) for a in args)


def _quote_argument(arg):
    if arg and not any(c in arg for c in ' \t"'):
        return arg
    quoted, slashes = '"', 0
    for c in arg:
        if c == "\\":
            slashes += 1
            continue
        if c == '"':
            quoted += "\\" * (2 * slashes + 1) + '"'
        else:
            quoted += "\\" * slashes + c
        slashes = 0
    return quoted + "\\" * (2 * slashes) + '"'


_REG_ROOTS = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER", "HKCR": "HKEY_CLASSES_ROOT",
              "HKU": "HKEY_USERS", "HKCC": "HKEY_CURRENT_CONFIG"}


def parse_reg_export(text, key):
    """The values of exactly the key `key` in the text of a .reg file: {name: (type, data)}."""
    root, _, rest = key.partition("\\")
    wanted = "[" + _REG_ROOTS.get(root.upper(), root.upper()) + ("\\" + rest if rest else "") + "]"
    values, inside, entry = {}, False, ""
    for line in text.splitlines():
        if line.startswith("[") and not entry:
            inside = line.rstrip().lower() == wanted.lower()
            continue
        if not inside or (not entry and (not line or line.startswith(";"))):
            continue
        entry += line.strip() if entry else line
        if entry.endswith("\\") and "=hex" in entry:
            entry = entry[:-1]  # hex data continues on the next line
            continue
        name, data = _reg_string(entry, 0) if entry.startswith('"') else ("", entry[1:])  # "name"= or @=
        values[name] = _reg_data(data[1:])
        entry = ""
    return values


def _reg_string(text, start):
    """The quoted .reg string at text[start] and what follows its closing quote."""
    value, i = "", start + 1
    while text[i] != '"':
        if text[i] == "\\":
            i += 1
        value += text[i]
        i += 1
    return value, text[i + 1:]


def _reg_data(data):
    if data.startswith('"'):
        return "REG_SZ", _reg_string(data, 0)[0]
    if data.startswith("dword:"):
        return "REG_DWORD", int(data[6:], 16)
    kind, _, payload = data.partition(":")
    raw = bytes(int(b, 16) for b in payload.split(",") if b)
    if kind == "hex(2)":
        return "REG_EXPAND_SZ", raw.decode("utf-16-le").rstrip("\0")
    if kind == "hex(7)":
        return "REG_MULTI_SZ", [part for part in raw.decode("utf-16-le").split("\0") if part]
    if kind == "hex(b)":
        return "REG_QWORD", int.from_bytes(raw, "little")
    if kind == "hex":
        return "REG_BINARY", raw
    return kind, raw


def _required_env(name):
    value = os.environ.get(name)
    if not value:
        raise HarnessError("set %s (the ctest tests do)" % name)
    return value


def _die_with_parent():
    """In a child before exec: have Linux end it when the test process dies, even by SIGKILL."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


ADDR_NO_RANDOMIZE = 0x0040000  # a personality(2) flag


def _fixed_address_layout():
    """Turns address-space randomisation off for the programs this process starts from now on, and
    so for every Wine process of the session (Wine's processes start each other and keep the flag).

    Debian's Wine has no preloader, and its 64-bit loader lies at 0x7d000000. Linux here starts the
    heap of a 64-bit program anywhere up to 1 GiB above the program (measured: 3 to 1023 MiB), so
    now and then (measured: once in 4,000 starts of wine64) the heap already covers 0x7ffe0000,
    where Wine maps the shared user data page: the process ends at once with exit code 1 ("failed
    to map the shared user data", silent under WINEDEBUG=-all). Every 64-bit Wine process is
    exposed: the x64 leg's programs, and Wine's own services in any 64-bit prefix. Without
    randomisation the heap begins right after the loader, 48 MiB below that page."""
    libc = ctypes.CDLL(None, use_errno=True)
    current = libc.personality(0xFFFFFFFF)
    if current != -1 and not current & ADDR_NO_RANDOMIZE:
        libc.personality(current | ADDR_NO_RANDOMIZE)


def _run_captured(argv, env, timeout):
    """subprocess.run with the output captured in files, not pipes: the first Wine program after a
    wineserver start launches Wine's service processes, which inherit its standard handles and
    outlive it, so reading a pipe to its end would wait for them."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout)
        out.seek(0)
        err.seek(0)
        proc.stdout, proc.stderr = out.read(), err.read()
    return proc


def _run_checked(argv, env, what, check=True, timeout=DEFAULT_TIMEOUT):
    t0 = time.monotonic()
    try:
        proc = _run_captured(argv, env, timeout)
    except subprocess.TimeoutExpired:
        raise HarnessError("%s: %s did not end within %d s" % (what, " ".join(argv), timeout))
    _log("%s: %.3f s" % (" ".join(argv), time.monotonic() - t0))
    proc.stdout = proc.stdout.decode("utf-8", "replace")
    proc.stderr = proc.stderr.decode("utf-8", "replace")
    if check and proc.returncode != 0:
        raise HarnessError("%s failed (exit %d): %s\n%s" % (what, proc.returncode, " ".join(argv),
                                                            proc.stderr[-3000:]))
    return proc


SKIPPED = 77  # the exit code ctest counts as a skipped test (SKIP_RETURN_CODE)


def skip(reason):
    """Ends a test script that cannot run here: skipped for a developer's partial build, but a failure
    under CI=true (which scripts/test sets), where a test that did not run must not pass for one that did."""
    if os.environ.get("CI") == "true":
        print("FAILED, not run: %s (CI=true: every test must run)" % reason)
        sys.exit(1)
    print("skipped: %s" % reason)
    sys.exit(SKIPPED)


def skip_unless_built(*names, variable=None):
    """Ends the test script through skip() when the Windows build lacks one of the programs: the
    build of this process's leg, or the folder that the environment variable `variable` names."""
    build_dir = os.environ.get(variable, "") if variable else current_leg().build_dir
    missing = [n for n in names if not os.path.isfile(os.path.join(build_dir, n))]
    if missing:
        skip("%s not in the Windows build folder %r" % (", ".join(missing), build_dir))


# ----- which build is tested where -----
#
# Some machines of this kind run no 32-bit Linux program at all, and with it no 32-bit Wine and no
# 32-bit Windows program. Whether this one does is asked once per run, by running one; never guessed
# from files or kernel versions. Each end-to-end script then runs once per build the machine can run
# (a leg): the i686 exe, the file shipped for every Windows, in a 64-bit (WoW64) prefix through the
# wine launcher, and the x64 exe in a 64-bit prefix of its own under wine64, which goes through no
# 32-bit program.

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
WINE32 = "/usr/lib/wine/wine"  # Wine's 32-bit loader, an i386 program: the probe runs it
WINE64 = "/usr/lib/wine/wine64"  # the `wine` launcher and wineboot would go through WINE32
I686, X64 = "i686", "x64"
LEG_VARIABLE = "E2E_LEG"  # set by main() for the script it runs once per leg
NEEDS_32_BIT = "needs a 32-bit process"
PROBE_TIMEOUT = 60


def probe_32_bit(program=None):
    """Whether this machine runs 32-bit (i386) Linux programs: (True or False, why), by running
    `program --version` (E2E_32BIT_PROBE, else WINE32): yes when it exits 0; no when it cannot be
    started (an ELF this kernel does not run gives ENOEXEC, Exec format error) or fails."""
    program = program or os.environ.get("E2E_32BIT_PROBE") or WINE32
    what = "%s --version" % program
    try:
        code = subprocess.call([program, "--version"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=PROBE_TIMEOUT)
    except OSError as error:
        return False, "%s: [Errno %d] %s" % (what, error.errno, error.strerror)
    except subprocess.TimeoutExpired:
        return False, "%s did not end within %d s" % (what, PROBE_TIMEOUT)
    if code != 0:
        return False, "%s exited %d" % (what, code)
    return True, "%s exited 0" % what


class Leg:
    """One build under test and the Wine it runs in. The x64 leg has a prefix and a screenshot
    folder of its own (prefix + "-x64", screenshots/x64), so the two legs never share state."""

    def __init__(self, name, build_dir, prefix, screenshot_dir):
        self.name = name
        self.build_dir = os.path.abspath(build_dir)
        self.prefix = os.path.abspath(prefix + ("-x64" if name == X64 else ""))
        self.screenshot_dir = os.path.abspath(os.path.join(screenshot_dir, "x64") if name == X64 else screenshot_dir)
        self.loader = WINE64 if name == X64 else "wine"

    def describe(self):
        exe = os.path.join(self.build_dir, "vexissetup.exe")
        if exe.startswith(ROOT + os.sep):
            exe = os.path.relpath(exe, ROOT)
        return "%s (%s)" % (exe, "x64, under wine64" if self.name == X64 else "i686, in a 64-bit WoW64 prefix")

    def session(self, **options):
        """A WineSession of this leg (not started); options override its folders."""
        settings = dict(windows_build_dir=self.build_dir, prefix=self.prefix, screenshot_dir=self.screenshot_dir,
                        loader=self.loader, program_view=64 if self.name == X64 else 32)
        settings.update(options)
        return WineSession(**settings)


def plan(build_dir, x64_build_dir, prefix, screenshot_dir, environ=None):
    """The legs to run on this machine, the i686 one first, and why: ([Leg], text). E2E_BUILD=i686
    or x64 forces one; forcing i686 where 32-bit programs do not run raises HarnessError."""
    environ = os.environ if environ is None else environ
    forced = environ.get("E2E_BUILD", "")
    if forced not in ("", I686, X64):
        raise HarnessError("E2E_BUILD=%s: give %s or %s" % (forced, I686, X64))
    if forced == X64:
        names, why = [X64], "E2E_BUILD=x64"
    else:
        runs, reason = probe_32_bit(environ.get("E2E_32BIT_PROBE"))
        if forced == I686:
            if not runs:
                raise HarnessError("E2E_BUILD=i686, but this machine runs no 32-bit program (%s)" % reason)
            names, why = [I686], "E2E_BUILD=i686"
        elif runs:
            names, why = [I686, X64], "this machine runs 32-bit programs (%s)" % reason
        else:
            names, why = [X64], "this machine runs no 32-bit program (%s)" % reason
    return [Leg(name, x64_build_dir if name == X64 else build_dir, prefix, screenshot_dir) for name in names], why


def e2e_plan(environ=None):
    """plan() for the end-to-end scripts, from E2E_WINDOWS_BUILD_DIR, E2E_WINDOWS_X64_BUILD_DIR
    (by default the first + "-x64"), E2E_WINE_PREFIX and E2E_SCREENSHOT_DIR."""
    environ = os.environ if environ is None else environ
    return plan(*_e2e_folders(environ), environ=environ)


def e2e_line(legs, why):
    """The one line a run prints at its start: the exes under test and why."""
    return "e2e: %s%s: %s" % (" and ".join(leg.describe() for leg in legs), " only" if len(legs) == 1 else "", why)


def _e2e_folders(environ):
    build_dir = environ.get("E2E_WINDOWS_BUILD_DIR", "")
    x64_build_dir = environ.get("E2E_WINDOWS_X64_BUILD_DIR") or (build_dir + "-x64" if build_dir else "")
    prefix = environ.get("E2E_WINE_PREFIX")
    if not prefix:
        raise HarnessError("set E2E_WINE_PREFIX (the ctest tests do)")
    screenshot_dir = environ.get("E2E_SCREENSHOT_DIR") or os.path.join(prefix, "..", "screenshots")
    return build_dir, x64_build_dir, prefix, screenshot_dir


_leg = None


def current_leg():
    """The leg this process runs: E2E_LEG, which main() sets for each run of the script, or else
    the first leg this machine runs."""
    global _leg
    if _leg is None:
        name = os.environ.get(LEG_VARIABLE)
        if name:
            if name not in (I686, X64):
                raise HarnessError("%s=%s: %s or %s" % (LEG_VARIABLE, name, I686, X64))
            build_dir, x64_build_dir, prefix, screenshot_dir = _e2e_folders(os.environ)
            _leg = Leg(name, x64_build_dir if name == X64 else build_dir, prefix, screenshot_dir)
        else:
            _leg = e2e_plan()[0][0]
    return _leg


def needs_32_bit_process(test):
    """Marks a scenario that needs a 32-bit process of its own (win32_session()): it runs in the
    i686 leg only, is skipped in the x64 leg, and main() names it as not run where no i686 leg runs.
    The one kind of test that may stay unrun under CI=true: a machine without 32-bit programs
    cannot run it at all."""
    test.needs_32_bit_process = True
    if os.environ.get(LEG_VARIABLE) != I686:
        return unittest.skip(NEEDS_32_BIT)(test)
    return test


def main(*programs, run=None):
    """The __main__ of an end-to-end script: prints which exes are tested and why, runs the script
    once per leg (a child process with E2E_LEG set; its output under a header), names the tests
    that no leg could run, and exits with 1 when a leg failed, else 77 when a leg was skipped,
    else 0. In the child: skip_unless_built(*programs), then run() (the script's own function,
    returning an exit code) or else the unittest tests of __main__."""
    if os.environ.get(LEG_VARIABLE):
        skip_unless_built(*programs)
        if run is not None:
            sys.exit(run())
        unittest.main(module="__main__")
        return
    try:
        legs, why = e2e_plan()
    except HarnessError as error:
        print("e2e: FAILED: %s" % error)
        sys.exit(1)
    print(e2e_line(legs, why), flush=True)
    # Ended with SIGTERM, the script still ends its legs and shows what they printed.
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(128 + signum))
    codes = _run_legs(legs)
    if not any(leg.name == I686 for leg in legs):
        where = "with E2E_BUILD=x64" if os.environ.get("E2E_BUILD") == X64 else "on this machine"
        for name in _tests_needing_32_bit(sys.modules["__main__"], sys.argv[0]):
            print("not run %s: %s: %s" % (where, name, NEEDS_32_BIT))
    if any(code not in (0, SKIPPED) for code in codes):
        sys.exit(1)
    sys.exit(SKIPPED if SKIPPED in codes else 0)


def _run_legs(legs):
    """Runs this script once per leg, all legs at once, and prints each leg's output under its
    header once they ended (on 2 cores all e2e tests took 181 s, against 379 s one leg after the
    other: the legs mostly wait for Wine). E2E_SEQUENTIAL_LEGS=1 runs them one after the other,
    with the output as it comes. Returns the legs' exit codes."""
    sequential = bool(os.environ.get("E2E_SEQUENTIAL_LEGS"))
    runs = []
    try:
        for leg in legs:
            run = {"leg": leg, "output": None if sequential else tempfile.TemporaryFile(), "start": time.monotonic()}
            if sequential:
                _print_leg_header(leg)
            run["child"] = subprocess.Popen(
                [sys.executable] + sys.argv, env=dict(os.environ, **{LEG_VARIABLE: leg.name}),
                stdout=run["output"], stderr=None if sequential else subprocess.STDOUT, preexec_fn=_die_with_parent)
            runs.append(run)
            if sequential:
                _wait_leg(run)
                _print_leg_end(leg, run["child"].returncode, run["seconds"])
        waiters = [threading.Thread(target=_wait_leg, args=(run,)) for run in runs if "seconds" not in run]
        for waiter in waiters:
            waiter.start()
        for waiter in waiters:
            waiter.join()
    finally:
        # When this script is ended (Ctrl-C, SIGTERM), the legs still running clean up first.
        for run in runs:
            if run["child"].poll() is None:
                run["child"].terminate()
        for run in runs:
            try:
                run["child"].wait(DEFAULT_TIMEOUT)
            except subprocess.TimeoutExpired:
                run["child"].kill()
        for run in [] if sequential else runs:
            _print_leg_header(run["leg"])
            run["output"].seek(0)
            sys.stdout.buffer.write(run["output"].read())
            sys.stdout.flush()
            if "seconds" in run:
                _print_leg_end(run["leg"], run["child"].returncode, run["seconds"])
    return [run["child"].returncode for run in runs]


def _wait_leg(run):
    run["child"].wait()
    run["seconds"] = time.monotonic() - run["start"]


def _print_leg_header(leg):
    print("\n======== %s leg: %s ========" % (leg.name, leg.describe()), flush=True)


def _print_leg_end(leg, code, seconds):
    print("======== %s leg: %s in %.0f s (exit %d) ========" % (
        leg.name, "passed" if code == 0 else "skipped" if code == SKIPPED else "FAILED", seconds, code), flush=True)


def _tests_needing_32_bit(module, script):
    """The ids (script.Class.test) of the tests in module marked with needs_32_bit_process."""
    found = []

    def walk(suite):
        for item in suite:
            if isinstance(item, unittest.TestSuite):
                walk(item)
            elif getattr(getattr(item, item._testMethodName, None), "needs_32_bit_process", False):
                found.append(os.path.splitext(os.path.basename(script))[0] + "." + item.id().split(".", 1)[1])

    walk(unittest.defaultTestLoader.loadTestsFromModule(module))
    return found


_session = None


def session(**options):
    """The test run's one started WineSession of this leg (made on first use, stopped when Python
    exits); options override the leg's folders."""
    global _session
    if _session is None:
        _session = current_leg().session(**options).start()
    return _session


def win32_session():
    """A second session, started, for needs_32_bit_process scenarios (stop it when done): 32-bit
    Windows (WINEARCH=win32, no WOW64) in a prefix of its own, E2E_WINE_PREFIX + "-win32", made by
    the 32-bit loader, with the i686 build."""
    leg = current_leg()
    if leg.name != I686:
        raise HarnessError("a 32-bit Windows prefix needs the i686 leg, not %s" % leg.name)
    return leg.session(prefix=leg.prefix + "-win32", arch="win32", program_view=None).start()
