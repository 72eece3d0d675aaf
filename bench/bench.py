#!/usr/bin/env python3
"""Measures Tarnwick inside one Wine session (see run.sh): one table of figures,
each beside its baseline from the same run. The program acts when its
WINEDEBUG=+systray line (one per Shell_NotifyIconA call) arrives on a pipe,
stamped with CLOCK_MONOTONIC: Wine's own +timestamp counts whole ms."""
import argparse
import contextlib
import glob
import json
import os
import queue
import random
import re
import shutil
import subprocess
import sys
import threading
import time

START = time.monotonic()
KINDS = (("arrive", "file lands"), ("leave", "file leaves"))
SIZES = (10, 1000, 100000)
WORK = "/tmp/tarnwick-bench-work"
README_BEGIN, README_END = "<!-- bench:begin -->\n", "<!-- bench:end -->\n"
# The program's command numbers, from its resource header.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "resource.h")) as header:
    IDM = {name: int(number) for name, number in re.findall(r"#define (IDM_\w+) (\d+)", header.read())}
QUIET = {"stdin": subprocess.DEVNULL, "stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}


def now():
    return time.monotonic_ns() / 1e6  # milliseconds


def win_path(path):
    return "Z:" + path.replace("/", "\\")


def check(ok, failure):
    if not ok:
        raise RuntimeError(failure)


def fresh_folder(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def land(path):
    os.close(os.open(path, os.O_CREAT | os.O_EXCL | os.O_WRONLY, 0o644))


class Lines:
    """Lines from one pipe, each stamped when it arrived; (stamp, None) at its end."""

    def __init__(self, stream, keep=""):
        self.queue = queue.Queue()
        threading.Thread(target=self._read, args=(stream, keep), daemon=True).start()

    def _read(self, stream, keep):
        for text in (line.decode("latin-1").rstrip("\n") for line in iter(stream.readline, b"")):
            if keep in text:
                self.queue.put((now(), text))
        self.queue.put((now(), None))

    def next(self, timeout):
        with contextlib.suppress(queue.Empty):
            return self.queue.get(timeout=max(timeout, 0) / 1000.0)

    def quiet(self, gap_ms):
        """The lines that come until none came for gap_ms (3 s at most); 0: those here now."""
        got, end = [], now() + 3000
        while now() < end and (item := self.next(gap_ms)):
            got.append(item)
        return got


def wine(exe, *args, trace="-all", env=os.environ, **pipes):
    return subprocess.Popen(["wine", exe, *args], env=dict(env, WINEDEBUG=trace), **pipes)


def in_prefix(env, *commands):
    for command in commands:  # with no output: a server keeps the output it starts with
        subprocess.run(command, env=env, timeout=300, **QUIET)


def start_probe(exe):
    """tray_probe.exe (reads the tray picture, posts commands, writes settings): a function asking it."""
    process = wine(exe, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def ask(*commands):
        for command in commands:
            process.stdin.write((command + "\n").encode())
            process.stdin.flush()
            answer = process.stdout.readline().decode().strip()
            check(answer not in ("", "error", "none"), "probe failed: " + command)
        return answer
    return ask


class Watched:
    """A program with its +systray trace on a pipe: a line per call, dwMessage
    0 add, 1 modify, 2 delete. Wine runs it in the process started here."""

    def __init__(self, exe, window_class, ask):
        self.started, self.window_class, self.ask = now(), window_class, ask
        self.process = wine(exe, trace="+systray", stderr=subprocess.PIPE, stdout=subprocess.DEVNULL)
        self.lines = Lines(self.process.stderr, keep="Shell_NotifyIcon")

    def wait_add(self):
        item = self.lines.next(20000) or (0, None)
        check("dwMessage = 0" in (item[1] or ""), "no tray icon added: %r" % (item,))
        return item[0]

    def exit(self):
        self.ask("post %s %d" % (self.window_class, IDM["IDM_EXIT"]))
        check(self.process.wait(timeout=15) == 0, self.window_class + " did not end cleanly")


def store_settings(ask, folder, rescan):
    # The alert and the notification off: what is measured is the watch and the picture, and Wine's tray would draw
    # a balloon at each of a hundred arrivals a few hundred milliseconds apart.
    ask("clear", "folder " + win_path(folder), "num Buzzer 0", "num Notify 0", "num Rescan %d" % rescan,
        "num See hiddeen files 1", "num See subfolders 1")


def pct(values, p):
    ordered = sorted(values) or [float("nan")]
    k = (len(ordered) - 1) * p / 100.0
    lo, hi = int(k), min(int(k) + 1, len(ordered) - 1)
    return ordered[lo] + (ordered[hi] - ordered[lo]) * (k - lo)


def med(values):
    return pct(values, 50)


def fmt(ms):
    return "%.2f s" % (ms / 1000) if ms >= 1000 else "%.1f ms" % ms if ms >= 10 else "%.2f ms" % ms


def spread(values):
    return "n=%d, %s..%s" % (len(values), fmt(min(values)), fmt(max(values)))


def versus(figure, value, base, label, ratio, notes=""):  # a row: two times and their ratio
    return (figure, fmt(value), label + fmt(base), ratio % (value / base), notes)


def trial(kind, target, program, ask, record, signals):
    """Lands or removes the file, times the program's next two calls (a scan shows Checking, then the result)
    and the waiter's signal; then reads the screen: a picture not painted yet is late, one not within 2 s wrong."""
    t0 = now()
    (land if kind == "arrive" else os.unlink)(target)
    got = {"limit": signals.next(5000)} if signals else {}
    got["checking"] = program.lines.next(15000)
    got["result"] = program.lines.next(5000)
    check(all(got.values()), "no reaction to %s: %r" % (kind, got))
    for stage, item in got.items():
        record[kind].setdefault(stage, []).append(item[0] - t0)
    record["scans"].append(got["checking"][0])
    # A landing can raise more than one notification; each runs a scan.
    record["extra_scans"] += len(program.lines.quiet(60)) // 2
    expected = "NotEmpty" if kind == "arrive" else "Empty"
    if ask("pic") != expected:
        record["late_pictures"] += 1
        record["wrong_pictures"] += ask("wait %s 2000" % expected) != expected


def trials(program, ask, target, count, pause_ms, signals=None):
    """count trials, the file landing and leaving in turn, each after a random
    pause; the start of a scan the program makes of itself meanwhile is kept."""
    record = {"arrive": {}, "leave": {}, "scans": [], "extra_scans": 0, "late_pictures": 0, "wrong_pictures": 0}
    program.wait_add()
    program.lines.quiet(300)
    check(ask("wait Empty 5000") == "Empty", "the program did not show Empty")
    for n in range(count):
        pause_end = now() + random.uniform(*pause_ms)
        while now() < pause_end:
            if item := program.lines.next(pause_end - now()):
                record["scans"].append(item[0])
                program.lines.next(2000)
        if signals:
            signals.quiet(0)  # a landing can raise more than one signal too
        trial(KINDS[n % 2][0], target, program, ask, record, signals)
    program.exit()
    return record


def reaction(args, ask, results):
    folder = fresh_folder(os.path.join(WORK, "react"))
    target = os.path.join(folder, "landed.txt")
    # The waiter has a prefix, and so a wineserver, of its own: wineserver
    # keeps one inotify watch per folder for all handles, and a waiter in
    # Tarnwick's would spare Tarnwick the cost of re-adding it at each scan.
    # No display: its tray would sit where the probe reads Tarnwick's.
    other = dict(os.environ, WINEPREFIX=os.environ["WINEPREFIX"] + "-waiter")
    other.pop("DISPLAY")
    in_prefix(other, ["wineserver", "-p"], ["wine", "cmd", "/c", "exit", "0"])
    waiter = wine(args.exe("change_waiter"), win_path(folder), env=other, stdout=subprocess.PIPE,
                  stderr=subprocess.DEVNULL)
    try:
        signals = Lines(waiter.stdout)
        check((signals.next(20000) or (0, None))[1] == "armed", "change waiter did not start")
        store_settings(ask, folder, rescan=0)
        r = {"watched": trials(Watched(args.tarnwick, "Tarnwick", ask), ask, target, 2 * args.trials, (20, 80),
                               signals)}
        # The rescan delay alone: the same program with no change
        # notification, each change at a random phase of its 10-s period.
        store_settings(ask, folder, rescan=1)
        only = Watched(args.exe("TarnwickRescanOnly"), "Tarnwick", ask)
        r["rescan_only"] = trials(only, ask, target, args.rescan_trials, (0, 10000))
    finally:
        waiter.kill()
        in_prefix(other, ["wineserver", "-k"], ["wineserver", "-w"])

    w, rows, scans = r["watched"], [], r["rescan_only"]["scans"]
    # Times between the rescan-only copy's scans that no trial's wait cut in.
    periods = [b - a for a, b in zip(scans, scans[1:]) if 5000 < b - a < 15000]
    for kind, label in KINDS:
        result, limit = w[kind]["result"], w[kind]["limit"]
        rows.append(versus("Reaction, %s → icon shows result (median)" % label, med(result), med(limit),
                           "notification fires: ", "%.2f× the limit",
                           "n=%d, p5 %s, p95 %s" % (len(result), fmt(pct(result, 5)), fmt(pct(result, 95)))))
        rows.append(versus("Reaction, %s → icon shows result (p95)" % label, pct(result, 95), pct(limit, 95),
                           "notification p95: ", "%.2f× the limit"))
        # A change at a uniformly random moment waits U(0, P).
        alone, period = r["rescan_only"][kind].get("result", []), med(periods or [10000])
        rows.append(("Reaction, %s, rescan delay alone (Short)" % label, "%s median, %s p95" % (
            fmt(med(alone)), fmt(pct(alone, 95))), "watched: " + fmt(med(result)), "%.0f× slower" % (
            med(alone) / med(result)), "n=%d measured; model U(0,P): %s median, %s p95" % (
            len(alone), fmt(period * 0.5), fmt(period * 0.95))))
    rows.append(("Reaction, Checking picture first shown (file lands, median)", fmt(med(w["arrive"]["checking"])),
                 "", "", "extra scans from doubled notifications: %d; screen read after each trial: %d late "
                 "(painted within 2 s), %d wrong" % (w["extra_scans"], w["late_pictures"], w["wrong_pictures"])))
    if periods:
        rows.append(versus("Rescan period P (Short), measured", med(periods), 10000, "set: ", "%.4f×",
                           spread(periods)))
    return r, rows


def counters(pid):
    """Processor time (ms, the scheduler's count: utime moves in 10-ms ticks) and wake-ups, over all threads."""
    cpu = wakeups = 0
    for task in glob.glob("/proc/%d/task/*/" % pid):
        with contextlib.suppress(FileNotFoundError), open(task + "schedstat") as stat, open(task + "status") as f:
            cpu += int(stat.read().split()[0]) / 1e6
            wakeups += sum(int(line.split()[1]) for line in f if line.startswith("voluntary_ctxt"))
    return {"cpu_ms": cpu, "voluntary": wakeups}


def wineserver_pid():
    prefix = b"WINEPREFIX=" + os.environ["WINEPREFIX"].encode()
    for comm in glob.glob("/proc/[0-9]*/comm"):
        with contextlib.suppress(OSError), open(comm, "rb") as name, open(comm[:-4] + "environ", "rb") as env:
            if name.read().startswith(b"wineserver") and prefix in env.read().split(b"\0"):
                return int(comm.split("/")[2])
    raise RuntimeError("no wineserver of this prefix")


def idle_minute(args, pids, program, trivial):
    """Each process's counters in six slices; when the program called the shell, how often the trivial one did."""
    calls, samples = [], [{who: counters(pid) for who, pid in pids.items()}]
    end = now() + args.idle_seconds * 1000
    for k in range(5, -1, -1):
        until = end - k * args.idle_seconds * 1000 / 6
        while now() < until:
            if item := program.lines.next(until - now()):
                calls.append(item[0])
        samples.append({who: counters(pid) for who, pid in pids.items()})
    return dict({who: {key: [b[who][key] - a[who][key] for a, b in zip(samples, samples[1:])]
                       for key in samples[0][who]} for who in pids}, shell_calls=calls,
                trivial_calls=len(trivial.lines.quiet(0)))


def idle(args, ask, results):
    folder = fresh_folder(os.path.join(WORK, "idle"))
    store_settings(ask, folder, rescan=0)
    program, trivial = Watched(args.tarnwick, "Tarnwick", ask), Watched(args.exe("idle_tray"), "BenchIdle", ask)
    program.wait_add()
    trivial.wait_add()
    program.lines.quiet(500)
    pids = {"program": program.process.pid, "trivial": trivial.process.pid, "server": wineserver_pid()}
    i = {"Disabled": idle_minute(args, pids, program, trivial)}
    ask("post Tarnwick %d" % IDM["IDM_RESCAN_SHORT"])
    program.lines.quiet(500)
    i["Short"] = idle_minute(args, pids, program, trivial)
    # Menu commands that rescan without Checking, on a folder that stays
    # empty: rescan Disabled, Hidden files off, Hidden files on.
    program.lines.quiet(0)
    ask(*("post Tarnwick %d" % IDM[name] for name in ("IDM_RESCAN_DISABLED", "IDM_HIDDEN", "IDM_HIDDEN")))
    i["unchanged_calls"] = len(program.lines.quiet(500))
    # The folder goes, and a menu command's scan finds it gone: from then on
    # the program watches the folder above it.
    shutil.rmtree(folder)
    ask("post Tarnwick %d" % IDM["IDM_RESCAN_DISABLED"])
    program.lines.quiet(500)
    i["Disabled, folder missing"] = idle_minute(args, pids, program, trivial)
    program.exit()
    trivial.exit()

    rows, per = [], 60.0 / args.idle_seconds
    for mode in ("Disabled", "Short", "Disabled, folder missing"):
        d, name = i[mode], "Idle minute, rescan %s: " % mode
        for key, label, unit in (("voluntary", "wake-ups (voluntary switches)", ""),
                                 ("cpu_ms", "processor time", " ms")):
            p, t = sum(d["program"][key]) * per, sum(d["trivial"][key]) * per
            rows.append((name + label, "%.4g%s" % (p, unit), "trivial GUI: %.4g%s" % (t, unit),
                         "%+.4g vs trivial" % (p - t), "per slice of %g s: %s" % (
                             args.idle_seconds / 6, [round(x, 3) for x in d["program"][key]])))
        rows.append((name + "shell calls", "%d" % (len(d["shell_calls"]) * per),
                     "trivial GUI: %d" % (d["trivial_calls"] * per), "", ""))
        # A periodic rescan shows Checking, then the result: the gap is how
        # long the scan held the program, seen from outside.
        shown = [b - a for a, b in zip(d["shell_calls"][0::2], d["shell_calls"][1::2])]
        if shown and "reaction" in results:
            w = results["reaction"]["watched"]["arrive"]
            rows.append(versus("Checking shown during a periodic rescan (Short, median)", med(shown),
                               med([b - a for a, b in zip(w["checking"], w["result"])]), "after a change: ",
                               "%.2f×", spread(shown)))
        rows.append((name + "wineserver wake-ups", "%g" % (sum(d["server"]["voluntary"]) * per), "", "",
                     "shared by all Wine processes"))
    rows.append(("Shell calls for scans of an unchanged state without Checking",
                 "%d in 3 scans" % i["unchanged_calls"], "a scan with Checking: 2", "",
                 "menu commands: rescan Disabled, Hidden files off, on"))
    return i, rows


def scan_bench(args, folder, trials, hidden, trace="-all"):
    """scan_bench.exe's first line, its times (ms) by part, and its stderr."""
    process = wine(args.exe("scan_bench"), win_path(folder), str(trials), "0",
                   *(["unhide-last"] if hidden else []), trace=trace, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out, err = process.communicate(timeout=600)
    check(process.returncode == 0, "scan_bench failed (%d) on %s" % (process.returncode, folder))
    header, *lines = out.decode().splitlines()
    times = {"scan": [], "list": [], "arm": [], "find": [], "open": []}
    for part, _, microseconds in (line.partition(" ") for line in lines):
        times[part].append(float(microseconds) / 1000.0)
    return header, times, err.decode("latin-1")


def heap_calls(trace, what):
    """Heap calls between the helper's markers around one scan or listing."""
    inside = trace.split("mark begin %s\n" % what)[1].split("mark end %s\n" % what)[0]
    return sum("RtlAllocateHeap" in line or "RtlReAllocateHeap" in line for line in inside.splitlines())


def scanning(args, ask, results):
    s, rows = {}, []
    for count in SIZES:
        trials = 100 if count <= 100 else 30 if count <= 10000 else 7  # fewer where a scan lists a big folder
        for case, hidden, label in (("counted", False, "all counted"), ("last_counted", True, "only the last counted")):
            folder = fresh_folder(os.path.join(WORK, "scan-%s-%d" % (case, count)))
            for path in (os.path.join(folder, "entry%06d.dat" % i) for i in range(count)):
                land(path)
                if hidden:  # where Wine keeps FILE_ATTRIBUTE_HIDDEN
                    os.setxattr(path, "user.DOSATTRIB", b"0x2")
            header, e, _ = scan_bench(args, folder, trials, hidden)
            check(header == "entries %d counted %d" % (count, 1 if hidden else count), folder + ": " + header)
            s[case + "/%d" % count], label = e, "%d entries, %s" % (count, label)
            rows.append(versus("Scan, " + label, med(e["scan"]), med(e["list"]), "full listing: ", "%.3f× the listing",
                               "n=%d, p5..p95 %s..%s; parts: presence test %s (opening a listing %s), arming a "
                               "second watch %s" % (len(e["scan"]), fmt(pct(e["scan"], 5)), fmt(pct(e["scan"], 95)),
                                                    fmt(med(e["find"])), fmt(med(e["open"])), fmt(med(e["arm"])))))
            if count == SIZES[1]:
                trace = scan_bench(args, folder, 0, False, trace="+heap")[2]
                e["heap_calls"] = {what: heap_calls(trace, what) for what in ("scan", "list")}
                rows.append(("Heap allocations in one scan (%s)" % label, "%d" % e["heap_calls"]["scan"],
                             "full listing: %d" % e["heap_calls"]["list"], "",
                             "Wine +heap trace; all made inside the system's find and watch calls"))
            if count >= 10000:
                fresh_folder(folder)
    return s, rows


def private_kib(pid):
    with open("/proc/%d/smaps_rollup" % pid) as f:
        kib = {parts[0]: int(parts[1]) for parts in map(str.split, f) if parts[1].isdigit()}
    return kib["Private_Clean:"] + kib["Private_Dirty:"], kib["Private_Dirty:"]


def footprint(args, ask, results):
    store_settings(ask, fresh_folder(os.path.join(WORK, "start")), rescan=0)
    order = (("program", args.tarnwick, "Tarnwick"), ("trivial", args.exe("idle_tray"), "BenchIdle"))
    f = {key: {"program": [], "trivial": []} for key in ("start", "settled", "shell_calls", "private", "dirty")}
    for n in range(10):
        for who, exe, window_class in (order if n % 2 == 0 else order[::-1]):
            running = Watched(exe, window_class, ask)
            added = running.wait_add()
            later = running.lines.quiet(500)
            for key, value in zip(("start", "settled", "shell_calls", "private", "dirty"), (
                    added - running.started, (later[-1][0] if later else added) - running.started, 1 + len(later),
                    *private_kib(running.process.pid))):
                f[key][who].append(value)
            running.exit()
    f["exe_bytes"] = size = {who: os.path.getsize(exe) for who, exe, _ in order}
    start, mine = f["start"], f["private"]["program"]
    (pm, tm), (pd, td) = ([med(f[key][who]) for who in ("program", "trivial")] for key in ("private", "dirty"))
    return f, [
        ("Exe size", "%d bytes" % size["program"], "trivial GUI: %d bytes" % size["trivial"],
         "%.2f×" % (size["program"] / size["trivial"]), "budget 100 KB"),
        ("Private memory of the running program", "%d KiB" % pm, "trivial GUI: %d KiB" % tm, "%+d KiB" % (pm - tm),
         "n=%d, %d..%d KiB; dirty %d vs %d KiB" % (len(mine), min(mine), max(mine), pd, td)),
        versus("Start to tray icon added", med(start["program"]), med(start["trivial"]), "trivial GUI: ", "%.2f×",
               spread(start["program"]) + " vs %s..%s" % (fmt(min(start["trivial"])), fmt(max(start["trivial"])))),
        versus("Start to the first scan's result shown", med(f["settled"]["program"]), med(start["trivial"]),
               "trivial GUI, icon added: ", "%.2f×", spread(f["settled"]["program"])),
        ("Shell calls during start-up", "%g" % med(f["shell_calls"]["program"]),
         "trivial GUI: %g" % med(f["shell_calls"]["trivial"]), "", "")]


def render(rows):
    head = [("Figure", "Tarnwick", "Baseline (same run)", "Ratio", "Spread / notes"), ("---",) * 5]
    return "".join("| %s |\n" % " | ".join(row) for row in head + rows)


def quote_in(readme, text):
    """Puts text between the README's two bench marker lines."""
    with open(readme) as f:
        head, rest = f.read().split(README_BEGIN)
    with open(readme, "w") as f:
        f.write(head + README_BEGIN + text + README_END + rest.split(README_END)[1])


def main():
    parser = argparse.ArgumentParser()
    for name in ("helpers", "tarnwick", "out"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--build", default="Tarnwick.exe", help="which build is measured, in words")
    parser.add_argument("--readme", help="a file whose table between the bench marker lines is replaced")
    for name, default in (("trials", 100), ("rescan-trials", 10), ("idle-seconds", 60)):
        parser.add_argument("--" + name, type=int, default=default)
    parser.add_argument("--only", default="reaction,idle,scan,footprint")
    args = parser.parse_args()
    args.exe = lambda name: os.path.join(args.helpers, name + ".exe")
    ask = start_probe(args.exe("tray_probe"))
    measure = {"reaction": reaction, "idle": idle, "scan": scanning, "footprint": footprint}
    results = {"rows": []}
    # What fails leaves Wine processes behind: the session's end stops them.
    try:
        for part in sorted(args.only.split(","), key=list(measure).index):
            print("[bench %6.1f s] %s" % (time.monotonic() - START, part), file=sys.stderr, flush=True)
            results[part], rows = measure[part](args, ask, results)
            results["rows"] += rows
    finally:
        ask("clear")
        results["header"] = "Tarnwick benchmark of %s, %s, %d CPUs, Linux %s, run of %.0f s" % (
            args.build, subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip(),
            os.cpu_count(), os.uname().release, time.monotonic() - START)
        os.makedirs(args.out, exist_ok=True)
        with open(os.path.join(args.out, "results.json"), "w") as f:
            json.dump(results, f, indent=1)
    text = results["header"] + "\n\n" + render(results["rows"])
    with open(os.path.join(args.out, "results.md"), "w") as f:
        f.write(text)
    if args.readme:
        quote_in(args.readme, text)
    print(text)


if __name__ == "__main__":
    main()
