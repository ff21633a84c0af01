#!/usr/bin/env python3
"""Scaling throughput next to Pillow's bicubic resize of the same pixels.

Usage: python3 bench/scale_vs_pillow.py [path/to/vistrel_bench_scale] [--runs N]

Builds nothing: configure and build the benchmark first, e.g.
  cmake --preset bench && cmake --build build/bench --target vistrel_bench_scale
Needs Pillow for the system interpreter (Debian: python3-pil). Prints one table
with both sides' figures and the goals they are held to.
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

try:
    from PIL import Image
except ImportError:
    sys.exit("Pillow is not installed (apt-get install python3-pil)")

CASES = [  # (source size, target size)
    ((6000, 4000), (1920, 1280)),
    ((2560, 1600), (320, 200)),
]


def pillow_ms(raw_path, size, target, runs):
    with open(raw_path, "rb") as f:
        data = f.read()
    # The raw file is blue, green, red, alpha; Pillow keeps RGB in four bytes a
    # pixel too, so both sides move the same amount of memory.
    image = Image.frombuffer("RGBA", size, data, "raw", "BGRA", 0, 1).convert("RGB")
    bicubic = getattr(Image, "Resampling", Image).BICUBIC
    image.resize(target, bicubic)  # warm-up
    real, cpu = [], []
    for _ in range(runs):
        start, start_cpu = time.perf_counter(), time.process_time()
        image.resize(target, bicubic)
        real.append((time.perf_counter() - start) * 1000)
        cpu.append((time.process_time() - start_cpu) * 1000)
    return statistics.median(real), statistics.median(cpu)


def ours(bench, runs):
    out = subprocess.run(
        [bench, "--benchmark_filter=^(Scale/Bgra8/(6000x4000_to_1920x1280|2560x1600_to_320x200)|BoxReduce|Memcpy)",
         "--benchmark_format=json", "--benchmark_repetitions=%d" % runs,
         "--benchmark_report_aggregates_only=true"],
        check=True, capture_output=True, text=True).stdout
    results = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        unit = {"ms": 1.0, "us": 1e-3, "ns": 1e-6}[b["time_unit"]]
        results[b["run_name"]] = (b["real_time"] * unit, b["cpu_time"] * unit)
    return results


def main():
    args = sys.argv[1:]
    runs = 5
    if "--runs" in args:
        i = args.index("--runs")
        runs = int(args[i + 1])
        del args[i:i + 2]
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    bench = args[0] if args else os.path.join(root, "build", "bench", "bench", "vistrel_bench_scale")
    if not os.path.exists(bench):
        sys.exit("benchmark not found: " + bench)

    print("command:", " ".join([sys.executable] + sys.argv))
    ok = True
    with tempfile.TemporaryDirectory() as tmp:
        pil = {}
        for size, target in CASES:
            raw = os.path.join(tmp, "%dx%d.raw" % size)
            subprocess.run([bench, "--write-source=" + raw, "%dx%d" % size], check=True)
            pil[size] = pillow_ms(raw, size, target, runs)
        mine = ours(bench, runs)

    print("\n%-44s %10s %10s %12s" % ("case", "real ms", "cpu ms", "src MP/s"))
    for size, target in CASES:
        mp = size[0] * size[1] / 1e6
        print("%-44s %10.2f %10.2f %12.1f" % ("Pillow %dx%d -> %dx%d" % (size + target), pil[size][0],
                                                pil[size][1], mp / pil[size][0] * 1000))
        for threads in (1, 2):
            name = "Scale/Bgra8/%dx%d_to_%dx%d/threads:%d/real_time" % (size + target + (threads,))
            real, cpu = mine[name]
            print("%-44s %10.2f %10.2f %12.1f" % ("ours %dx%d -> %dx%d, %d thread(s)" % (size + target + (threads,)),
                                                  real, cpu, mp / real * 1000))
    big = CASES[0][0]
    one, one_cpu = mine["Scale/Bgra8/6000x4000_to_1920x1280/threads:1/real_time"]
    two = mine["Scale/Bgra8/6000x4000_to_1920x1280/threads:2/real_time"][0]
    speedup = pil[big][0] / one
    scaling = one / two
    print("\n24 MP -> 2 MP, one thread: %.2fx Pillow (goal >= 5x); by processor time %.2fx"
          % (speedup, pil[big][1] / one_cpu))
    if os.getloadavg()[0] > 0.5 * os.cpu_count():
        print("note: load average %.1f on %d processors; wall times are shared with other work"
              % (os.getloadavg()[0], os.cpu_count()))
    print("24 MP -> 2 MP, two threads: %.2fx our one-thread figure (goal >= 1.8x)" % scaling)
    ok = ok and speedup >= 5 and scaling >= 1.8

    print("\n%-28s %10s %14s" % ("box pass (6000x4000)", "ms", "x memcpy"))
    for fmt in ("Bgra8", "Gray8"):
        copy = mine["Memcpy/%s_source" % fmt][0]
        for factor in (2, 4, 8, 16):
            t = mine["BoxReduce/%s/by%d" % (fmt, factor)][0]
            print("%-28s %10.2f %14.2f" % ("%s by %d" % (fmt, factor), t, t / copy))
            ok = ok and t <= 1.5 * copy
        print("%-28s %10.2f" % ("memcpy of %s source" % fmt, copy))
    print("\nall goals met" if ok else "\nsome goals not met")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
