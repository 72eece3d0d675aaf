#!/usr/bin/env python3
"""Measures Tarnwick under Wine and writes one table of figures, each beside
its baseline from the same run. Runs inside one Wine session (see run.sh):
WINEPREFIX, DISPLAY and a running wineserver are expected.

Timing is taken on the Unix side from the outside: a file is created or
removed here, and the moment the program acts is the moment its
WINEDEBUG=+systray trace line (written by Wine as the program calls
Shell_NotifyIconA) arrives on a pipe, stamped with CLOCK_MONOTONIC. Wine's own
+timestamp has 1 ms steps, too coarse for reactions of a few ms.
"""
import argparse
import json
import os
import queue
import random
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def now():
    return time.monotonic_ns() / 1e6  # milliseconds


def win_path(path):
    return "Z:" + path.replace("/", "\\")


def log(*words):
    print("[bench %6.1f s]" % (time.monotonic() - START), *words, file=sys.stderr, flush=True)


START = time.monotonic()


# ---------------------------------------------------------------- processes

class Lines:
    """Lines from one pipe, each stamped when it arrived."""

    def __init__(self, stream, keep=None):
        self.queue = queue.Queue()
        self.keep = keep
        self.thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self.thread.start()

    def _read(self, stream):
        fd = stream.fileno()
        pending = b""
        while True:
            chunk = os.read(fd, 65536)
            stamp = now()
            if not chunk:
                break
            pending += chunk
            *lines, pending = pending.split(b"\n")
            for line in lines:
                text = line.decode("latin-1")
                if self.keep is None or self.keep in text:
                    self.queue.put((stamp, text))
        self.queue.put((now(), None))

    def next(self, timeout):
        try:
            return self.queue.get(timeout=max(timeout, 0) / 1000.0)
        except queue.Empty:
            return None

    def drain(self):
        drained = []
        while True:
            try:
                drained.append(self.queue.get_nowait())
            except queue.Empty:
                return drained

    def quiet(self, gap_ms, limit_ms=3000):
        """Collects lines until none came for gap_ms."""
        got = []
        end = now() + limit_ms
        while now() < end:
            item = self.next(gap_ms)
            if item is None:
                break
            got.append(item)
        return got


STARTED = []  # every Wine process started here, ended if a measurement fails


def wine(exe, *args, trace="-all", stdin=None, stdout=None, stderr=None, prefix=None):
    env = dict(os.environ, WINEDEBUG=trace)
    if prefix:
        # The waiter's prefix stays off the screen: its own desktop and tray
        # would sit where the probe reads Tarnwick's.
        env["WINEPREFIX"] = prefix
        env.pop("DISPLAY", None)
    process = subprocess.Popen(["wine", exe, *args], env=env, stdin=stdin, stdout=stdout,
                               stderr=stderr)
    STARTED.append(process)
    return process


def end_leftovers(keep=None):
    for process in STARTED:
        if process is not keep and process.poll() is None:
            process.kill()
            process.wait()


def waiter_prefix():
    """A prefix, and so a wineserver, of the waiter's own. Sharing Tarnwick's
    would share its folder watch too: wineserver keeps one inotify watch per
    folder for all handles, so a second watcher would spare Tarnwick the cost
    of dropping and re-adding the watch at each scan, which it pays alone."""
    prefix = os.environ["WINEPREFIX"] + "-waiter"
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
    env.pop("DISPLAY", None)
    quiet = {"stdin": subprocess.DEVNULL, "stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    # Its server keeps the output it starts with: give it none (see WINE.md).
    subprocess.run(["wineserver", "-p"], env=env, **quiet)
    subprocess.run(["wine", "cmd", "/c", "exit", "0"], env=env, timeout=300, **quiet)
    return prefix


def stop_waiter_prefix(prefix):
    env = dict(os.environ, WINEPREFIX=prefix)
    subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, stderr=subprocess.DEVNULL)


class Probe:
    """tray_probe.exe: reads the tray picture, posts commands, writes settings."""

    def __init__(self, exe):
        self.process = wine(exe, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)

    def ask(self, command):
        self.process.stdin.write((command + "\n").encode())
        self.process.stdin.flush()
        return self.process.stdout.readline().decode().strip()

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=10)


class Watched:
    """A program with its +systray trace on a pipe; each line is one
    Shell_NotifyIconA call: dwMessage 0 add, 1 modify, 2 delete."""

    def __init__(self, exe, window_class, probe):
        self.started = now()
        self.process = wine(exe, trace="+systray", stderr=subprocess.PIPE,
                            stdout=subprocess.DEVNULL)
        self.lines = Lines(self.process.stderr, keep="Shell_NotifyIcon")
        self.window_class = window_class
        self.probe = probe

    def wait_add(self, timeout=20000):
        item = self.lines.next(timeout)
        if item is None or item[1] is None or "dwMessage = 0" not in item[1]:
            raise RuntimeError("no tray icon added: %r" % (item,))
        return item[0]

    def exit(self):
        answer = self.probe.ask("post %s 105" % self.window_class)
        try:
            code = self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            code = None
        if answer != "ok" or code != 0:
            raise RuntimeError("%s did not end cleanly: %s %s" % (self.window_class, answer, code))

    @property
    def pid(self):
        # Wine runs the program in the very process started here.
        return self.process.pid


# ------------------------------------------------------------------ numbers

def pct(values, p):
    ordered = sorted(values)
    if not ordered:
        return float("nan")
    k = (len(ordered) - 1) * p / 100.0
    lo = int(k)
    hi = min(lo + 1, len(ordered) - 1)
    return ordered[lo] + (ordered[hi] - ordered[lo]) * (k - lo)


def summary(values):
    return {"n": len(values), "median": pct(values, 50), "p5": pct(values, 5),
            "p95": pct(values, 95), "min": min(values) if values else None,
            "max": max(values) if values else None}


def proc_counters(pid):
    """CPU milliseconds and context switches summed over the process's threads.
    The scheduler's own count (schedstat, in ns) is used for processor time:
    utime and stime move in 10-ms ticks."""
    cpu = vol = invol = 0
    for task in os.listdir("/proc/%d/task" % pid):
        base = "/proc/%d/task/%s/" % (pid, task)
        try:
            with open(base + "schedstat") as f:
                cpu += int(f.read().split()[0]) / 1e6
            with open(base + "status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches"):
                        vol += int(line.split()[1])
                    elif line.startswith("nonvoluntary_ctxt_switches"):
                        invol += int(line.split()[1])
        except FileNotFoundError:
            pass
    return {"cpu_ms": cpu, "voluntary": vol, "involuntary": invol}


def private_memory_kib(pid):
    values = {}
    with open("/proc/%d/smaps_rollup" % pid) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2 and parts[0].endswith(":") and parts[1].isdigit():
                values[parts[0][:-1]] = int(parts[1])
    return {"private": values.get("Private_Clean", 0) + values.get("Private_Dirty", 0),
            "private_dirty": values.get("Private_Dirty", 0), "rss": values.get("Rss", 0),
            "pss": values.get("Pss", 0)}


def wineserver_pid():
    prefix = os.environ["WINEPREFIX"].encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/comm" % entry, "rb") as f:
                if not f.read().startswith(b"wineserver"):
                    continue
            with open("/proc/%s/environ" % entry, "rb") as f:
                if b"WINEPREFIX=" + prefix in f.read().split(b"\0"):
                    return int(entry)
        except OSError:
            pass
    return None


# ------------------------------------------------------------------- set-up

def store_settings(probe, folder, rescan):
    for command in ("clear", "folder " + win_path(folder), "num Buzzer 0", "num Rescan %d" % rescan,
                    "num See hiddeen files 1", "num See subfolders 1"):
        if probe.ask(command) != "ok":
            raise RuntimeError("probe failed: " + command)


def fresh_folder(path):
    if os.path.isdir(path):
        for name in os.listdir(path):
            os.unlink(os.path.join(path, name))
    else:
        os.makedirs(path)
    return path


def land(path):
    os.close(os.open(path, os.O_CREAT | os.O_EXCL | os.O_WRONLY, 0o644))


# ------------------------------------------------------------ 1. reaction

def reaction(cfg, probe, work):
    folder = fresh_folder(os.path.join(work, "react"))
    target = os.path.join(folder, "landed.txt")
    store_settings(probe, folder, rescan=0)

    other = waiter_prefix()
    waiter = wine(cfg.exe("change_waiter"), win_path(folder), stdout=subprocess.PIPE,
                  stderr=subprocess.DEVNULL, prefix=other)
    signals = Lines(waiter.stdout)
    first = signals.next(20000)
    if not first or first[1] != "armed":
        raise RuntimeError("change waiter did not start: %r" % (first,))

    program = Watched(cfg.tarnwick, "Tarnwick", probe)
    program.wait_add()
    program.lines.quiet(300)
    if probe.ask("wait Empty 5000") != "Empty":
        raise RuntimeError("Tarnwick did not show Empty")

    results = {"arrive": {"limit": [], "checking": [], "result": []},
               "leave": {"limit": [], "checking": [], "result": []}}
    extra_scans = 0
    # The screen is read after every trial: a picture not yet painted is
    # late, one that never comes within 2 s is wrong.
    late_pictures = wrong_pictures = 0
    for trial in range(cfg.trials):
        for kind in ("arrive", "leave"):
            time.sleep(random.uniform(0.02, 0.08))
            signals.drain()
            program.lines.drain()
            t0 = now()
            if kind == "arrive":
                land(target)
            else:
                os.unlink(target)
            signal = signals.next(5000)
            check = program.lines.next(5000)
            result = program.lines.next(5000)
            if not (signal and check and result):
                raise RuntimeError("no reaction to %s in trial %d" % (kind, trial))
            results[kind]["limit"].append(signal[0] - t0)
            results[kind]["checking"].append(check[0] - t0)
            results[kind]["result"].append(result[0] - t0)
            # A landing can raise more than one notification; each runs a scan.
            extra_scans += len(program.lines.quiet(60)) // 2
            signals.quiet(10)
            expected = "NotEmpty" if kind == "arrive" else "Empty"
            if probe.ask("pic") != expected:
                late_pictures += 1
                if probe.ask("wait %s 2000" % expected) != expected:
                    wrong_pictures += 1
    program.exit()

    if cfg.rescan_trials == 0:
        waiter.kill()
        waiter.wait()
        stop_waiter_prefix(other)
        return {"notified": {k: {s: summary(v) for s, v in d.items()} for k, d in results.items()},
                "raw": results, "extra_scans": extra_scans, "wrong_pictures": wrong_pictures,
            "late_pictures": late_pictures}

    # Rescan delay alone: the same program, with no change notification.
    store_settings(probe, folder, rescan=1)
    only = Watched(cfg.exe("TarnwickRescanOnly"), "Tarnwick", probe)
    only.wait_add()
    only.lines.quiet(300)
    rescans = {"arrive": [], "leave": []}
    scan_starts = []
    for trial in range(cfg.rescan_trials):
        kind = "arrive" if trial % 2 == 0 else "leave"
        # A random phase against the program's 10-s period.
        pause_end = now() + random.uniform(0, 10000)
        while now() < pause_end:
            item = only.lines.next(pause_end - now())
            if item:
                scan_starts.append(item[0])
                only.lines.next(2000)
        t0 = now()
        if kind == "arrive":
            land(target)
        else:
            os.unlink(target)
        check = only.lines.next(15000)
        result = only.lines.next(2000)
        if not (check and result):
            raise RuntimeError("rescan-only copy did not react")
        scan_starts.append(check[0])
        rescans[kind].append(result[0] - t0)
        expected = "NotEmpty" if kind == "arrive" else "Empty"
        if probe.ask("pic") != expected:
            late_pictures += 1
            if probe.ask("wait %s 2000" % expected) != expected:
                wrong_pictures += 1
    only.exit()
    if os.path.exists(target):
        os.unlink(target)
    waiter.kill()
    waiter.wait()
    stop_waiter_prefix(other)

    periods = [b - a for a, b in zip(scan_starts, scan_starts[1:]) if b - a < 15000 and b - a > 5000]
    # Exactly one period between consecutive scans only when no trial's own
    # wait cut in; the 5..15 s window keeps those.
    period = statistics.median(periods) if periods else 10000.0
    return {"notified": {k: {s: summary(v) for s, v in d.items()} for k, d in results.items()},
            "raw": results,
            "rescan_only_measured": {k: summary(v) for k, v in rescans.items()},
            "rescan_only_raw": rescans,
            "rescan_period": summary(periods),
            # A change at a uniformly random moment waits U(0, period).
            "rescan_only_model": {"median": period * 0.5, "p95": period * 0.95},
            "extra_scans": extra_scans, "wrong_pictures": wrong_pictures,
            "late_pictures": late_pictures}


# ---------------------------------------------------------------- 2. idle

def idle(cfg, probe, work):
    folder = fresh_folder(os.path.join(work, "idle"))
    store_settings(probe, folder, rescan=0)
    program = Watched(cfg.tarnwick, "Tarnwick", probe)
    trivial = Watched(cfg.exe("idle_tray"), "BenchIdle", probe)
    program.wait_add()
    trivial.wait_add()
    program.lines.quiet(500)
    server = wineserver_pid()

    def minute(label):
        samples = []
        calls = []
        end = now() + cfg.idle_seconds * 1000
        step = cfg.idle_seconds * 1000 / 6
        for k in range(7):
            if k:
                while now() < end - (6 - k) * step:
                    item = program.lines.next(end - (6 - k) * step - now())
                    if item:
                        calls.append(item[0])
            samples.append({"program": proc_counters(program.pid),
                            "trivial": proc_counters(trivial.pid),
                            "server": proc_counters(server) if server else None})
        out = {}
        for who in ("program", "trivial", "server"):
            if samples[0][who] is None:
                continue
            slices = {key: [samples[k + 1][who][key] - samples[k][who][key] for k in range(6)]
                      for key in ("cpu_ms", "voluntary", "involuntary")}
            out[who] = {key: {"total": sum(v), "slices": v} for key, v in slices.items()}
        out["program"]["shell_calls"] = {"total": len(calls)}
        # Each periodic rescan shows Checking, then the result: how long
        # Checking stays up is how long the scan took, seen from outside.
        out["program"]["checking_ms"] = [b - a for a, b in zip(calls[0::2], calls[1::2])]
        log("idle", label, json.dumps({w: {k: v["total"] for k, v in d.items() if isinstance(v, dict)}
                                       for w, d in out.items()}))
        return out

    disabled = minute("Disabled")
    if probe.ask("post Tarnwick 211") != "ok":
        raise RuntimeError("could not set Short")
    program.lines.quiet(500)
    short = minute("Short")
    # Menu commands that rescan without Checking, on a folder that stays
    # empty: rescan Disabled, Hidden files off, Hidden files on.
    program.lines.drain()
    for command in (210, 110, 110):
        if probe.ask("post Tarnwick %d" % command) != "ok":
            raise RuntimeError("could not post %d" % command)
    unchanged_calls = len(program.lines.quiet(500))
    program.exit()
    trivial.exit()
    return {"seconds": cfg.idle_seconds, "disabled": disabled, "short": short,
            "unchanged_scans": 3, "unchanged_calls": unchanged_calls}


# ------------------------------------------------------------ 3. scanning

def make_entries(folder, count, hidden):
    fresh_folder(folder)
    for i in range(count):
        path = os.path.join(folder, "entry%06d.dat" % i)
        land(path)
        if hidden:
            # Where Wine keeps the DOS attributes: FILE_ATTRIBUTE_HIDDEN.
            os.setxattr(path, "user.DOSATTRIB", b"0x2")


def run_scan_bench(cfg, folder, trials, show_hidden, unhide_last, trace="-all"):
    args = [win_path(folder), str(trials), str(show_hidden)] + (["unhide-last"] if unhide_last else [])
    process = wine(cfg.exe("scan_bench"), *args, trace=trace, stdout=subprocess.PIPE,
                   stderr=subprocess.PIPE)
    out, err = process.communicate(timeout=600)
    if process.returncode != 0:
        raise RuntimeError("scan_bench failed (%d) on %s" % (process.returncode, folder))
    times = {"scan": [], "list": [], "arm": [], "find": [], "open": []}
    header = None
    for line in out.decode().splitlines():
        word, _, rest = line.partition(" ")
        if word in times:
            times[word].append(float(rest) / 1000.0)
        elif word == "entries":
            header = line
    return header, times, err.decode("latin-1")


def heap_calls(trace, what):
    inside = False
    count = 0
    for line in trace.splitlines():
        if line.startswith("mark begin " + what):
            inside = True
        elif line.startswith("mark end " + what):
            return count
        elif inside and ("RtlAllocateHeap" in line or "RtlReAllocateHeap" in line):
            count += 1
    return None


def scanning(cfg, work):
    out = {}
    for count in cfg.sizes:
        # Fewer trials where one scan lists the whole of a big folder.
        trials = 100 if count <= 100 else 30 if count <= 10000 else 7
        for case, hidden in (("counted", False), ("last_counted", True)):
            folder = os.path.join(work, "scan-%s-%d" % (case, count))
            t = now()
            make_entries(folder, count, hidden)
            header, times, _ = run_scan_bench(cfg, folder, trials, 0, hidden)
            expected = "entries %d counted %d" % (count, count if not hidden else 1)
            if header != expected:
                raise RuntimeError("%s: %s, expected %s" % (folder, header, expected))
            entry = {key: summary(v) for key, v in times.items()}
            entry["raw"] = times
            if count == cfg.sizes[1]:
                _, _, trace = run_scan_bench(cfg, folder, 0, 0, False, trace="+heap")
                entry["heap_calls"] = {"scan": heap_calls(trace, "scan"),
                                       "list": heap_calls(trace, "list")}
            out["%s/%d" % (case, count)] = entry
            log("scan", case, count, "entries: scan %.3f ms, list %.3f ms (%d trials, %.0f s)" % (
                entry["scan"]["median"], entry["list"]["median"], trials, (now() - t) / 1000))
            if count >= 10000:
                fresh_folder(folder)
    return out


# ----------------------------------------------------------- 4. footprint

def footprint(cfg, probe, work):
    folder = fresh_folder(os.path.join(work, "start"))
    store_settings(probe, folder, rescan=0)
    starts = {"program": [], "trivial": []}
    settled = {"program": [], "trivial": []}
    memory = {"program": [], "trivial": []}
    start_calls = []
    for trial in range(cfg.start_trials):
        order = (("program", cfg.tarnwick, "Tarnwick"), ("trivial", cfg.exe("idle_tray"), "BenchIdle"))
        for who, exe, window_class in (order if trial % 2 == 0 else order[::-1]):
            running = Watched(exe, window_class, probe)
            added = running.wait_add()
            starts[who].append(added - running.started)
            later = running.lines.quiet(500)
            calls = 1 + len(later)
            settled[who].append((later[-1][0] if later else added) - running.started)
            if who == "program":
                start_calls.append(calls)
            memory[who].append(private_memory_kib(running.pid))
            running.exit()
    sizes = {"program": os.path.getsize(cfg.tarnwick), "trivial": os.path.getsize(cfg.exe("idle_tray"))}
    return {"start_ms": {k: summary(v) for k, v in starts.items()}, "start_raw": starts,
            "settled_ms": {k: summary(v) for k, v in settled.items()},
            "memory_kib": {w: {k: summary([m[k] for m in v]) for k in v[0]} for w, v in memory.items()},
            "start_shell_calls": summary(start_calls), "exe_bytes": sizes}


# --------------------------------------------------------------- report

def ratio(a, b):
    return a / b if b else float("inf")


def fmt(value, unit="ms"):
    if value is None:
        return "-"
    if unit == "ms":
        if value >= 1000:
            return "%.2f s" % (value / 1000)
        if value >= 10:
            return "%.1f ms" % value
        return "%.2f ms" % value
    return "%s %s" % (value, unit)


def table(results):
    rows = []

    def row(figure, value, baseline, r, spread):
        rows.append("| %s | %s | %s | %s | %s |" % (figure, value, baseline, r, spread))

    r = results.get("reaction")
    if r:
        for kind, label in (("arrive", "file lands"), ("leave", "file leaves")):
            n = r["notified"][kind]
            row("Reaction, %s → icon shows result (median)" % label, fmt(n["result"]["median"]),
                "notification fires: %s" % fmt(n["limit"]["median"]),
                "%.2f× the limit" % ratio(n["result"]["median"], n["limit"]["median"]),
                "n=%d, p5 %s, p95 %s" % (n["result"]["n"], fmt(n["result"]["p5"]), fmt(n["result"]["p95"])))
            row("Reaction, %s → icon shows result (p95)" % label, fmt(n["result"]["p95"]),
                "notification p95: %s" % fmt(n["limit"]["p95"]),
                "%.2f× the limit" % ratio(n["result"]["p95"], n["limit"]["p95"]), "")
            if "rescan_only_measured" not in r:
                continue
            m = r["rescan_only_measured"][kind]
            row("Reaction, %s, rescan delay alone (Short)" % label,
                "%s median, %s p95" % (fmt(m["median"]), fmt(m["p95"])),
                "watched: %s" % fmt(n["result"]["median"]),
                "%.0f× slower" % ratio(m["median"], n["result"]["median"]),
                "n=%d measured; model U(0,P): %s median, %s p95" % (
                    m["n"], fmt(r["rescan_only_model"]["median"]), fmt(r["rescan_only_model"]["p95"])))
        row("Reaction, Checking picture first shown (file lands, median)",
            fmt(r["notified"]["arrive"]["checking"]["median"]), "", "",
            "extra scans from doubled notifications: %d; screen read after each trial: %d late "
            "(painted within 2 s), %d wrong" % (r["extra_scans"], r["late_pictures"], r["wrong_pictures"]))
        if "rescan_period" in r:
            p = r["rescan_period"]
            row("Rescan period P (Short), measured", fmt(p["median"]), "set: 10.00 s",
                "%.4f×" % ratio(p["median"], 10000), "n=%d, %s..%s" % (p["n"], fmt(p["min"]), fmt(p["max"])))

    i = results.get("idle")
    if i:
        for mode in ("disabled", "short"):
            d = i[mode]
            per = 60.0 / i["seconds"]
            for key, label, unit in (("voluntary", "wake-ups (voluntary switches)", ""),
                                     ("cpu_ms", "processor time", " ms")):
                def r3(v):
                    return [round(x, 3) for x in v] if key == "cpu_ms" else v
                p, t = d["program"][key], d["trivial"][key]
                row("Idle minute, rescan %s: %s" % (mode.capitalize(), label),
                    "%.4g%s" % (p["total"] * per, unit), "trivial GUI: %.4g%s" % (t["total"] * per, unit),
                    "%+.4g vs trivial" % ((p["total"] - t["total"]) * per),
                    "per slice of %g s: %s" % (i["seconds"] / 6, r3(p["slices"])))
            row("Idle minute, rescan %s: shell calls" % mode.capitalize(),
                "%d" % (d["program"]["shell_calls"]["total"] * per), "trivial GUI: 0", "", "")
            shown = d["program"].get("checking_ms")
            if shown:
                react = [b - a for a, b in zip(r["raw"]["arrive"]["checking"],
                                               r["raw"]["arrive"]["result"])] if r else [float("nan")]
                row("Checking shown during a periodic rescan (Short, median)", fmt(pct(shown, 50)),
                    "after a change: %s" % fmt(pct(react, 50)), "%.2f×" % ratio(pct(shown, 50), pct(react, 50)),
                    "n=%d, %s..%s" % (len(shown), fmt(min(shown)), fmt(max(shown))))
            if "server" in d:
                row("Idle minute, rescan %s: wineserver wake-ups" % mode.capitalize(),
                    "%g" % (d["server"]["voluntary"]["total"] * per), "", "", "shared by all Wine processes")

        row("Shell calls for scans of an unchanged state without Checking",
            "%d in %d scans" % (i["unchanged_calls"], i["unchanged_scans"]),
            "a scan with Checking: 2", "", "menu commands: rescan Disabled, Hidden files off, on")

    s = results.get("scan")
    if s:
        for key, entry in s.items():
            case, count = key.split("/")
            label = "all counted" if case == "counted" else "only the last counted"
            row("Scan, %s entries, %s" % (count, label), fmt(entry["scan"]["median"]),
                "full listing: %s" % fmt(entry["list"]["median"]),
                "%.3f× the listing" % ratio(entry["scan"]["median"], entry["list"]["median"]),
                "n=%d, p5..p95 %s..%s; parts: presence test %s (opening a listing %s), "
                "arming a second watch %s" % (
                    entry["scan"]["n"], fmt(entry["scan"]["p5"]), fmt(entry["scan"]["p95"]),
                    fmt(entry["find"]["median"]), fmt(entry["open"]["median"]),
                    fmt(entry["arm"]["median"])))
            if "heap_calls" in entry:
                row("Heap allocations in one scan (%s entries, %s)" % (count, label),
                    "%s" % entry["heap_calls"]["scan"], "full listing: %s" % entry["heap_calls"]["list"],
                    "", "Wine +heap trace; all made inside the system's find and watch calls")

    f = results.get("footprint")
    if f:
        row("Exe size", "%d bytes" % f["exe_bytes"]["program"],
            "trivial GUI: %d bytes" % f["exe_bytes"]["trivial"],
            "%.2f×" % ratio(f["exe_bytes"]["program"], f["exe_bytes"]["trivial"]), "budget 100 KB")
        pm, tm = f["memory_kib"]["program"], f["memory_kib"]["trivial"]
        row("Private memory of the running program", "%d KiB" % pm["private"]["median"],
            "trivial GUI: %d KiB" % tm["private"]["median"],
            "%+d KiB" % (pm["private"]["median"] - tm["private"]["median"]),
            "n=%d, %d..%d KiB; dirty %d vs %d KiB" % (pm["private"]["n"], pm["private"]["min"],
                                                       pm["private"]["max"], pm["private_dirty"]["median"],
                                                       tm["private_dirty"]["median"]))
        ps, ts = f["start_ms"]["program"], f["start_ms"]["trivial"]
        row("Start to tray icon added", fmt(ps["median"]), "trivial GUI: %s" % fmt(ts["median"]),
            "%.2f×" % ratio(ps["median"], ts["median"]),
            "n=%d, %s..%s vs %s..%s" % (ps["n"], fmt(ps["min"]), fmt(ps["max"]), fmt(ts["min"]), fmt(ts["max"])))
        ps, ts = f["settled_ms"]["program"], f["settled_ms"]["trivial"]
        row("Start to the first scan's result shown", fmt(ps["median"]),
            "trivial GUI, icon added: %s" % fmt(ts["median"]), "%.2f×" % ratio(ps["median"], ts["median"]),
            "n=%d, %s..%s" % (ps["n"], fmt(ps["min"]), fmt(ps["max"])))
        row("Shell calls during start-up", "%g" % f["start_shell_calls"]["median"], "trivial GUI: 1", "", "")

    head = ["| Figure | Tarnwick | Baseline (same run) | Ratio | Spread / notes |",
            "|---|---|---|---|---|"]
    return "\n".join(head + rows) + "\n"


def plot(results, out):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        log("matplotlib missing: no plot")
        return
    fig, axes = plt.subplots(1, 2, figsize=(13, 5))
    r = results.get("reaction")
    if r:
        ax = axes[0]
        for kind, colour in (("arrive", "tab:blue"), ("leave", "tab:orange")):
            for stage, style in (("limit", ":"), ("result", "-")):
                values = sorted(r["raw"][kind][stage])
                ys = [(k + 1) / len(values) for k in range(len(values))]
                ax.step(values, ys, style, color=colour, where="post",
                        label="%s: %s" % ("file lands" if kind == "arrive" else "file leaves",
                                          "notification fires (limit)" if stage == "limit" else "Tarnwick shows result"))
            values = sorted(r.get("rescan_only_raw", {}).get(kind, []))
            if not values:
                continue
            ys = [(k + 1) / len(values) for k in range(len(values))]
            ax.step(values, ys, "--", color=colour, where="post",
                    label="%s: rescan delay alone (Short)" % ("file lands" if kind == "arrive" else "file leaves"))
        ax.set_xscale("log")
        ax.set_xlabel("time from the change (ms, log)")
        ax.set_ylabel("fraction of trials")
        ax.set_title("Reaction time (cumulative)")
        ax.grid(True, which="both", alpha=0.3)
        ax.legend(fontsize=7, loc="lower right")
    s = results.get("scan")
    if s:
        ax = axes[1]
        for case, colour in (("counted", "tab:green"), ("last_counted", "tab:red")):
            keys = [k for k in s if k.startswith(case + "/")]
            counts = [int(k.split("/")[1]) for k in keys]
            parts = (("scan", "-o"), ("list", ":s")) + ((("open", "--^"),) if case == "counted" else ())
            for what, style in parts:
                if what not in s[keys[0]]:
                    continue
                med = [s[k][what]["median"] for k in keys]
                lo = [s[k][what]["median"] - s[k][what]["p5"] for k in keys]
                hi = [s[k][what]["p95"] - s[k][what]["median"] for k in keys]
                ax.errorbar(counts, med, yerr=[lo, hi], fmt=style, color=colour, capsize=3,
                            label="%s: %s" % ("all counted" if case == "counted" else "only last counted",
                                              {"scan": "Tarnwick scan", "list": "full listing",
                                               "open": "opening a listing (Wine's floor)"}[what]))
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.set_xlabel("entries in the folder")
        ax.set_ylabel("time of one scan (ms, median, p5..p95)")
        ax.set_title("Scan scaling")
        ax.grid(True, which="both", alpha=0.3)
        ax.legend(fontsize=7)
    fig.tight_layout()
    fig.savefig(out, dpi=90)


# ----------------------------------------------------------------- main

class Config:
    def __init__(self, args):
        self.helpers = args.helpers
        self.tarnwick = args.tarnwick
        self.trials = args.trials
        self.rescan_trials = args.rescan_trials
        self.idle_seconds = args.idle_seconds
        self.start_trials = args.start_trials
        self.sizes = [int(s) for s in args.sizes.split(",")]

    def exe(self, name):
        return os.path.join(self.helpers, name + ".exe")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--helpers", required=True)
    parser.add_argument("--tarnwick", required=True)
    parser.add_argument("--build", default="Tarnwick.exe", help="which build is measured, in words")
    parser.add_argument("--out", required=True)
    parser.add_argument("--work", default="/tmp/tarnwick-bench-work")
    parser.add_argument("--trials", type=int, default=100)
    parser.add_argument("--rescan-trials", type=int, default=10)
    parser.add_argument("--idle-seconds", type=int, default=60)
    parser.add_argument("--start-trials", type=int, default=10)
    parser.add_argument("--sizes", default="10,1000,100000")
    parser.add_argument("--only", default="reaction,idle,scan,footprint")
    args = parser.parse_args()
    cfg = Config(args)
    os.makedirs(args.out, exist_ok=True)
    os.makedirs(args.work, exist_ok=True)
    random.seed()

    probe = Probe(cfg.exe("tray_probe"))
    results = {"machine": {"build": args.build, "cpus": os.cpu_count(), "kernel": os.uname().release,
                           "wine": subprocess.run(["wine", "--version"], capture_output=True,
                                                  text=True).stdout.strip()}}
    parts = args.only.split(",")
    try:
        if "reaction" in parts:
            log("reaction time")
            results["reaction"] = reaction(cfg, probe, args.work)
        if "idle" in parts:
            log("idle cost")
            results["idle"] = idle(cfg, probe, args.work)
        if "scan" in parts:
            log("scan scaling")
            results["scan"] = scanning(cfg, args.work)
        if "footprint" in parts:
            log("footprint")
            results["footprint"] = footprint(cfg, probe, args.work)
    except BaseException:
        end_leftovers(keep=probe.process)
        raise
    finally:
        probe.ask("clear")
        probe.close()
        with open(os.path.join(args.out, "results.json"), "w") as f:
            json.dump(results, f, indent=1)
    text = table(results)
    header = "Tarnwick benchmark of %s, %s, %d CPUs, Linux %s, run of %.0f s\n\n" % (
        args.build, results["machine"]["wine"], os.cpu_count(), os.uname().release, time.monotonic() - START)
    with open(os.path.join(args.out, "results.md"), "w") as f:
        f.write(header + text)
    plot(results, os.path.join(args.out, "results.png"))
    print(header + text)


if __name__ == "__main__":
    main()
