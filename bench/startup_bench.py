#!/usr/bin/python3
"""Start-up to exit of `yxtk -?` as a whole process, against `loginctl
--version` in the same run, and the peak resident memory of yxtk.

Usage: bench/startup_bench.py [path/to/yxtk] [runs]
Prints the median wall time of each, their ratio (target: at most 0.5) and
the peak resident set size of yxtk.
"""

import os
import shutil
import statistics
import subprocess
import sys
import time


def peak_rss(command):
    """Peak resident set size of one run in KiB, as GNU time reports it (a
    process started from this interpreter would count the interpreter's
    memory too)."""
    result = subprocess.run(['/usr/bin/time', '-f', '%M', *command], capture_output=True, text=True,
                            env=dict(os.environ, LC_ALL='en_US.UTF-8'), check=True)
    return int(result.stderr.strip().splitlines()[-1])


def measure(command, runs):
    """Median wall time in milliseconds."""
    times = []
    env = dict(os.environ, LC_ALL='en_US.UTF-8')
    for _ in range(runs):
        start = time.perf_counter()
        # posix_spawn starts the child without a copy of this interpreter's
        # memory, so its peak resident size is its own.
        pid = os.posix_spawn(command[0], command, env, file_actions=[
            (os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)])
        _, status = os.waitpid(pid, 0)
        times.append((time.perf_counter() - start) * 1000.0)
        if os.waitstatus_to_exitcode(status) != 0:
            raise SystemExit(f'{command} exited with {os.waitstatus_to_exitcode(status)}')
    return statistics.median(times)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    yxtk = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'build', 'linux', 'app', 'yxtk')
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    loginctl = shutil.which('loginctl')
    if loginctl is None:
        raise SystemExit('loginctl is not installed (Debian package systemd)')
    # Interleave warm-ups so both start from the same cache state.
    measure([yxtk, '-?'], 10)
    measure([loginctl, '--version'], 10)
    yx_ms = measure([yxtk, '-?'], runs)
    base_ms = measure([loginctl, '--version'], runs)
    yx_rss = max(peak_rss([yxtk, '-?']) for _ in range(5))
    base_rss = max(peak_rss([loginctl, '--version']) for _ in range(5))
    print(f'{"command":<22}{"median ms":>12}{"peak RSS KiB":>15}')
    print(f'{"yxtk -?":<22}{yx_ms:>12.3f}{yx_rss:>15}')
    print(f'{"loginctl --version":<22}{base_ms:>12.3f}{base_rss:>15}')
    print(f'ratio yxtk/loginctl: {yx_ms / base_ms:.2f} (target <= 0.5)')


if __name__ == '__main__':
    main()
