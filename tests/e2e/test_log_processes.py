"""Several processes logging into one log file at once.

Each process is tests/log_writer (see tests/tools/log_writer.cpp), copied into
a temporary directory and started from there, so that its logger finds the
settings file log_writer.wli beside it and writes log_writer.log (or, in the
start mode NEW, log_writer<open time>.log) there. The loggers of different
processes do not share a lock: a batch that finds the file held by another
process's batch fails with a sharing violation and keeps its records for the
next one. So whatever the interleaving, every record must reach the file
exactly once, as one intact line, and each process's records must keep their
order.

The writers open their loggers, report ready and wait for a go file, so that
they all start writing at one moment. The Wine tests run log_writer.exe of
the Windows build named by $YX_WIN32_BUILD_DIR, in that build's Wine prefix,
and are skipped when the variable is unset.

Run with: YX_BUILD_DIR=<build dir> /usr/bin/python3 -m pytest -q tests/e2e/test_log_processes.py
"""

import datetime
import os
import pathlib
import re
import shutil
import subprocess
import time

import pytest

from conftest import REPO_ROOT, wait_until

SETTINGS = '[Prms]\nFlshLns=100\n[Evts]\nT=\n'
PROCESSES = 4
RECORDS = 5000
PAYLOAD_BYTES = 100
# Generous: the writers fsync every batch, and a loaded machine may be slow.
RUN_TIMEOUT = 300
WAIT_TIMEOUT = 60

PROGRAM = 'log_writer'
ALPHABET = '0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz'

# One line as the logger lays it out: category, the time stamp when the time
# pattern is not empty, the process and thread ids, the message; then CR LF,
# which the reader has already split off.
LINE = re.compile(
    r'T\. (?:(?P<time>\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3}) )?'
    r'Pid=(?P<pid_field>\S+) Tid=(?P<tid_field>\S+) '
    r'w=(?P<tag>\S+) pid=(?P<pid>\d+) t=(?P<thread>\d+) n=(?P<n>\d+) (?P<payload>.*)')
NEW_NAME = re.compile(PROGRAM + r'(\d{8}-\d{9})\.log')


def payload(size=PAYLOAD_BYTES):
    return (ALPHABET * (size // len(ALPHABET) + 1))[:size]


def hex_id(value):
    """An id as the logger prints it with "%#06x"."""
    return format(value, '#06x')


class Record:
    """One parsed line."""

    def __init__(self, match, file_name, index):
        self.time = match['time']
        self.pid = int(match['pid'])
        self.tid_field = match['tid_field']
        self.tag = match['tag']
        self.thread = int(match['thread'])
        self.n = int(match['n'])
        self.file_name = file_name
        self.index = index
        # Raises for a time stamp that is no possible date and time.
        self.stamp = datetime.datetime.strptime(self.time, '%d.%m.%Y %H:%M:%S.%f') if self.time else None

    @property
    def timed(self):
        return self.time is not None


def split_lines(data, name):
    """The lines of a log file: every line ends in CR LF, and neither byte
    occurs anywhere else."""
    assert data.endswith(b'\r\n') or not data, f'{name}: the last line is not terminated'
    lines = data.split(b'\r\n')[:-1] if data else []
    for index, line in enumerate(lines):
        assert b'\r' not in line and b'\n' not in line, f'{name}:{index + 1}: stray line break in {line!r}'
    return lines


def parse_line(line, name, index, *, timed=None):
    """Parses one line completely; fails the test when any part is off.

    timed: True or False demands a time stamp or its absence; None takes both."""
    text = line.decode('ascii')
    match = LINE.fullmatch(text)
    assert match, f'{name}:{index + 1}: malformed line {text!r}'
    where = f'{name}:{index + 1}: {text!r}'
    try:
        record = Record(match, name, index)
    except ValueError as error:
        pytest.fail(f'{where}: {error}')
    if timed is not None:
        assert record.timed == timed, f'{where}: expected {"a" if timed else "no"} time stamp'
    assert match['pid_field'] == hex_id(record.pid), f'{where}: Pid= does not match the message'
    tid = record.tid_field
    assert re.fullmatch(r'0x[0-9a-f]+', tid) and tid == hex_id(int(tid, 16)), f'{where}: bad Tid='
    assert match['payload'] == payload(), f'{where}: payload damaged'
    return record


def parse_lines(data, name, *, timed=None):
    """Parses every line of a log file's bytes."""
    return [parse_line(line, name, i, timed=timed) for i, line in enumerate(split_lines(data, name))]


def parse_file(path, *, timed=True):
    return parse_lines(path.read_bytes(), path.name, timed=timed)


def check_records(records, expected, *, since=None, until=None):
    """Every expected record exactly once, each thread's records in order.

    expected: {tag: {thread: count}}. records: in file order (of one file, or
    of several files one after the other)."""
    by_thread = {}
    for record in records:
        by_thread.setdefault((record.tag, record.thread), []).append(record)
    assert set(by_thread) <= {(t, i) for t, threads in expected.items() for i in threads}, \
        f'records of unknown writers: {sorted(set(by_thread))}'
    for tag, threads in expected.items():
        for thread, count in threads.items():
            got = by_thread.get((tag, thread), [])
            numbers = [r.n for r in got]
            if numbers != list(range(count)):
                seen = set(numbers)
                missing = [n for n in range(count) if n not in seen]
                duplicates = len(numbers) - len(seen)
                disorder = next((i for i in range(1, len(numbers)) if numbers[i] < numbers[i - 1]), None)
                pytest.fail(f'writer {tag} thread {thread}: {len(numbers)} of {count} records, '
                            f'{len(missing)} missing (first {missing[:5]}), {duplicates} duplicated, '
                            f'first out of order at {disorder}')
            # One process, one thread id per thread.
            assert len({(r.pid, r.tid_field) for r in got}) <= 1, f'writer {tag} thread {thread}: ids vary'
    # Each writer is one process, its threads are distinct threads.
    pids = {}
    tids = {}
    for (tag, thread), got in by_thread.items():
        pids.setdefault(tag, set()).add(got[0].pid)
        tids.setdefault(tag, []).append(got[0].tid_field)
    for tag, ids in tids.items():
        assert len(set(ids)) == len(ids), f'writer {tag}: threads share a Tid: {ids}'
    assert all(len(p) == 1 for p in pids.values()), f'a writer has several process ids: {pids}'
    assert len({next(iter(p)) for p in pids.values()}) == len(pids), 'two writers share a process id'
    # A process stamps its records under its lock as it queues them, and they
    # leave the queue in that order: its time stamps never go back in a file.
    last = {}
    for record in records:
        if not record.timed:
            continue
        key = (record.tag, record.file_name)
        stamp = record.stamp
        if since is not None:
            assert since <= stamp <= until, f'{record.file_name}:{record.index + 1}: time stamp {stamp} ' \
                                            f'outside the run ({since} .. {until})'
        assert key not in last or last[key] <= stamp, \
            f'{record.file_name}:{record.index + 1}: time stamp goes back for writer {record.tag}'
        last[key] = stamp


class Writers:
    """log_writer copied into a fresh directory, and a way to run copies of it."""

    def __init__(self, directory, program, *, wine_prefix=None):
        self.dir = directory / 'logdir'
        self.dir.mkdir()
        self.markers = directory / 'markers'
        self.markers.mkdir()
        self.wine_prefix = wine_prefix
        suffix = '.exe' if wine_prefix else ''
        self.program = self.dir / (PROGRAM + suffix)
        shutil.copy2(program, self.program)
        self.settings = self.dir / (PROGRAM + '.wli')
        self.log = self.dir / (PROGRAM + '.log')
        self.pids = {}

    def write_settings(self, text):
        """Replaces the settings file at one stroke, so that a logger reading
        it meanwhile sees either the old or the new text, never a part."""
        if self.wine_prefix:
            text = text.replace('\n', '\r\n')
        staging = self.dir.parent / 'settings.tmp'
        staging.write_bytes(text.encode('ascii'))
        os.replace(staging, self.settings)

    def path_arg(self, path):
        """A path as the program takes it: a Wine program gets its drive Z: form."""
        if self.wine_prefix:
            return 'Z:' + str(path).replace('/', '\\')
        return str(path)

    def command(self, args):
        if self.wine_prefix:
            return [str(REPO_ROOT / 'cmake' / 'wine-run.sh'), str(self.wine_prefix), str(self.program)] + args
        return [str(self.program)] + args

    def run(self, count, records, *, threads=1, stop=None, on_writing=None):
        """Runs `count` writers w0, w1, ... together; returns, by tag, the
        number of records each thread logged, from the writers' reports.

        on_writing(): called once all writers are writing; with `stop` the
        writers log until the stop file exists, which this creates after
        on_writing returns."""
        go = self.markers / 'go'
        stop_file = self.markers / 'stop'
        processes = {}
        for i in range(count):
            tag = f'w{i}'
            args = ['-w', tag, '-t', str(threads), '-p', str(PAYLOAD_BYTES),
                    '-r', self.path_arg(self.markers / f'ready-{tag}'), '-g', self.path_arg(go)]
            if stop:
                args += ['-s', self.path_arg(stop_file)]
            processes[tag] = subprocess.Popen(self.command(args + [str(records)]), cwd=self.dir.parent,
                                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                              stdin=subprocess.DEVNULL)
        try:
            ready = wait_until(lambda: all((self.markers / f'ready-{t}').exists() for t in processes) or
                               any(p.poll() is not None for p in processes.values()), timeout=WAIT_TIMEOUT)
            assert ready and all(p.poll() is None for p in processes.values()), \
                'the writers did not all open their loggers: ' + self._reports(processes)
            go.touch()
            if on_writing:
                on_writing()
            if stop:
                stop_file.touch()
            outputs = {}
            deadline = time.monotonic() + RUN_TIMEOUT
            for tag, process in processes.items():
                out, err = process.communicate(timeout=max(1, deadline - time.monotonic()))
                # A Windows program's standard output ends its lines in CR LF.
                outputs[tag] = (process.returncode, out.decode(errors='replace').replace('\r\n', '\n'),
                                err.decode(errors='replace'))
        finally:
            for process in processes.values():
                if process.poll() is None:
                    process.kill()
                    process.wait()
        self.pids = {tag: p.pid for tag, p in processes.items()}
        return {tag: self._counts(tag, *output) for tag, output in outputs.items()}

    @staticmethod
    def _reports(processes):
        texts = []
        for tag, process in processes.items():
            if process.poll() is not None:
                out, err = process.communicate()
                texts.append(f'{tag} exited {process.returncode}: {out!r} {err!r}')
        return '; '.join(texts) or 'none exited'

    @staticmethod
    def _counts(tag, returncode, out, err):
        assert returncode == 0, f'writer {tag} exited with {returncode}: {out} {err}'
        summary = re.search(r'^records (\d+) left (\d+) dropped (\d+)$', out, re.M)
        assert summary, f'writer {tag} printed no summary: {out!r}'
        assert summary[2] == '0', f'writer {tag}: {summary[2]} records still queued after Close (lost)'
        assert summary[3] == '0', f'writer {tag}: {summary[3]} records dropped by the queue bound'
        return {int(i): int(n) for i, n in re.findall(r'^thread (\d+) records (\d+)$', out, re.M)}

    def log_files(self):
        return sorted(p for p in self.dir.iterdir() if p.suffix == '.log')


def expected_counts(count, records, threads=1):
    return {f'w{i}': {t: records for t in range(threads)} for i in range(count)}


def now():
    return datetime.datetime.now()


@pytest.fixture
def writers(tmp_path, binary):
    return Writers(tmp_path, binary(PROGRAM))


def run_and_check_one_file(writers, count, records, threads=1):
    """Runs the writers into one log file; returns its records."""
    since = now() - datetime.timedelta(seconds=2)
    counts = writers.run(count, records, threads=threads)
    until = now() + datetime.timedelta(seconds=2)
    expected = expected_counts(count, records, threads)
    assert counts == expected
    assert writers.log_files() == [writers.log]
    records_ = parse_file(writers.log)
    check_records(records_, expected, since=since, until=until)
    return records_


@pytest.mark.parametrize('threads', [1, 2])
def test_append_four_processes_into_one_file(writers, threads):
    writers.write_settings(SETTINGS)
    earlier = b'an earlier run\r\n'
    writers.log.write_bytes(earlier)
    since = now() - datetime.timedelta(seconds=2)
    counts = writers.run(PROCESSES, RECORDS // threads, threads=threads)
    until = now() + datetime.timedelta(seconds=2)
    expected = expected_counts(PROCESSES, RECORDS // threads, threads)
    assert counts == expected
    assert writers.log_files() == [writers.log]
    data = writers.log.read_bytes()
    assert data.startswith(earlier), 'APPEND lost the earlier content'
    body = data[len(earlier):]
    records = parse_lines(body, writers.log.name, timed=True)
    assert len(records) == PROCESSES * RECORDS
    check_records(records, expected, since=since, until=until)
    for tag, pid in writers.pids.items():
        got = {r.pid for r in records if r.tag == tag}
        assert got == {pid}, f'writer {tag}: Pid {got} is not the process id {pid}'
    # The processes really wrote side by side: their batches interleave.
    changes = sum(1 for a, b in zip(records, records[1:]) if a.tag != b.tag)
    assert changes >= PROCESSES, f'the writers did not overlap (only {changes} changes of writer)'


def test_overwrite_four_processes_into_one_file(writers):
    writers.write_settings(SETTINGS.replace('[Evts]', 'StrtMd=OVRWRT\n[Evts]'))
    stale = b'T. 01.01.2000 00:00:00.000 Pid=0x0001 Tid=0x0001 w=w0 pid=1 t=0 n=0 stale\r\n'
    writers.log.write_bytes(stale * 50)
    records = run_and_check_one_file(writers, PROCESSES, RECORDS)
    assert len(records) == PROCESSES * RECORDS


def test_new_four_processes_into_files_of_their_own(writers):
    writers.write_settings(SETTINGS.replace('[Evts]', 'StrtMd=NEW\n[Evts]'))
    since = now() - datetime.timedelta(seconds=2)
    counts = writers.run(PROCESSES, RECORDS)
    until = now() + datetime.timedelta(seconds=2)
    expected = expected_counts(PROCESSES, RECORDS)
    assert counts == expected
    files = writers.log_files()
    assert not writers.log.exists(), 'NEW wrote to the plain log path'
    # One file per open, unless two opens fell in the same millisecond.
    assert 1 <= len(files) <= PROCESSES, [f.name for f in files]
    records = []
    for path in files:
        match = NEW_NAME.fullmatch(path.name)
        assert match, f'unexpected file {path.name}'
        opened = datetime.datetime.strptime(match[1], '%Y%m%d-%H%M%S%f')
        in_file = parse_file(path)
        assert in_file, f'{path.name} is empty'
        assert since <= opened <= min(r.stamp for r in in_file), \
            f'{path.name}: the open time is not before its records'
        # A process opens once, so all its records are in one file.
        for tag in {r.tag for r in in_file}:
            assert all(r.file_name == path.name for r in records if r.tag == tag), f'{tag} spread over files'
        records += in_file
    check_records(records, expected, since=since, until=until)


def test_settings_change_while_processes_write(writers):
    """The new time pattern holds from each logger's next settings read on."""
    writers.write_settings('[Prms]\nFlshLns=100\nPrmsRd=1\n[Evts]\nT=\n')
    snapshot = {}

    def complete_lines():
        data = writers.log.read_bytes() if writers.log.exists() else b''
        return data[:data.rfind(b'\r\n') + 2] if b'\r\n' in data else b''

    def tags_seen(timed):
        lines = split_lines(complete_lines(), writers.log.name)
        return {parse_line(line, writers.log.name, i).tag for i, line in enumerate(lines)
                if line.startswith(b'T. Pid=') != timed}

    tags = {f'w{i}' for i in range(PROCESSES)}

    def change_settings():
        assert wait_until(lambda: tags_seen(True) >= tags, timeout=WAIT_TIMEOUT, interval=0.1), \
            'not every writer wrote lines with the old time pattern'
        snapshot['before'] = complete_lines()
        writers.write_settings('[Prms]\nTmFrmt=\nFlshLns=100\nPrmsRd=1\n[Evts]\nT=\n')
        assert wait_until(lambda: tags_seen(False) >= tags, timeout=WAIT_TIMEOUT, interval=0.1), \
            'not every writer took up the new time pattern'

    counts = writers.run(PROCESSES, 200, stop=True, on_writing=change_settings)
    data = writers.log.read_bytes()
    before = snapshot['before']
    assert data.startswith(before)
    # Everything in the file before the change has the old layout.
    parse_lines(before, writers.log.name, timed=True)
    records = parse_lines(data, writers.log.name)
    check_records(records, counts)
    # Each process switches once: its old-layout lines, then its new-layout ones.
    for tag in tags:
        layout = [r.timed for r in records if r.tag == tag]
        switch = layout.index(False)
        assert switch > 0 and all(layout[:switch]) and not any(layout[switch:]), \
            f'writer {tag}: time stamps after the new pattern was in force'


def test_settings_that_become_a_fifo_never_block(writers):
    """A settings file replaced by a FIFO while the loggers run counts as
    absent at the next read: nothing more is written, and no writer thread
    waits for a FIFO writer while it holds the lock."""
    writers.write_settings('[Prms]\nFlshLns=0\nPrmsRd=1\n[Evts]\nT=\n')

    def size():
        return writers.log.stat().st_size if writers.log.exists() else 0

    def replace_by_fifo():
        assert wait_until(lambda: size() > 0, timeout=WAIT_TIMEOUT, interval=0.05)
        writers.settings.unlink()
        os.mkfifo(writers.settings)
        # After the next settings read no record passes: the file stops growing.
        sizes = []
        assert wait_until(lambda: sizes.append(size()) or (len(sizes) > 30 and sizes[-1] == sizes[-30]),
                          timeout=WAIT_TIMEOUT, interval=0.1), 'the loggers kept writing'

    counts = writers.run(2, 100, stop=True, on_writing=replace_by_fifo)
    assert set(counts) == {'w0', 'w1'}


def test_no_settings_file_creates_no_log(writers):
    counts = writers.run(PROCESSES, 1000)
    assert counts == expected_counts(PROCESSES, 1000)
    assert sorted(p.name for p in writers.dir.iterdir()) == [PROGRAM]


# --- A process that ends without Close, and a full disk ---------------------


def run_without_close(writers, how, records=50):
    """One writer that logs `records` records and then ends without Close
    (`how`: exit() or a return from main); returns its records in the file."""
    writers.write_settings('[Prms]\nFlshLns=100000\n[Evts]\nT=\n')
    result = subprocess.run(writers.command(['-w', 'w0', '-p', str(PAYLOAD_BYTES), '-x', how, str(records)]),
                            cwd=writers.dir.parent, capture_output=True, timeout=RUN_TIMEOUT,
                            stdin=subprocess.DEVNULL, check=False)
    assert result.returncode == 0, result.stderr
    records_ = parse_file(writers.log)
    check_records(records_, {'w0': {0: records}})
    return records_


@pytest.mark.parametrize('how', ['exit', 'return'])
def test_process_end_without_close_writes_the_queue(writers, how):
    # The flush lines are never reached: only the logger's end writes.
    assert len(run_without_close(writers, how)) == 50


def fill(directory, keep_free):
    """Fills the file system of `directory` to its last byte, then frees
    `keep_free` bytes again; returns the filler file."""
    filler = directory / 'filler'
    with open(filler, 'wb', buffering=0) as out:
        for size in (1 << 16, 4096, 512, 64, 8, 1):
            try:
                while True:
                    out.write(b'\0' * size)
            except OSError:
                pass
    if keep_free:
        os.truncate(filler, filler.stat().st_size - keep_free)
    return filler


def test_full_disk_then_space_again(tmp_path, binary):
    """A real file system without space: batches stop part-way, the file
    holds only whole lines, and once there is space again every record is
    there exactly once."""
    if os.geteuid() != 0:
        pytest.skip('mounting a small tmpfs needs root')
    disk = tmp_path / 'disk'
    disk.mkdir()
    mounted = subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=512k,mode=0755', 'tmpfs', str(disk)],
                             capture_output=True, check=False)
    if mounted.returncode != 0:
        pytest.skip('cannot mount a tmpfs here: ' + mounted.stderr.decode(errors='replace'))
    try:
        program = disk / PROGRAM
        program.symlink_to(binary(PROGRAM))
        (disk / (PROGRAM + '.wli')).write_text('[Prms]\nFlshLns=0\nFlshSec=1\n[Evts]\nT=\n')
        log = disk / (PROGRAM + '.log')
        # One page free: the first batches fit part of it, the next stop
        # half-way through a line.
        filler = fill(disk, 4096)
        stop = tmp_path / 'stop'
        writer = subprocess.Popen([str(program), '-w', 'w0', '-p', '100', '-s', str(stop), '200'],
                                  cwd=tmp_path, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  stdin=subprocess.DEVNULL)
        try:
            assert wait_until(lambda: log.exists() and log.stat().st_size > 0, timeout=WAIT_TIMEOUT)
            # The device is full now; the file holds whole lines only.
            assert wait_until(lambda: len(log.read_bytes()) > 4096 - 300, timeout=WAIT_TIMEOUT)
            time.sleep(0.5)  # more batches meet the full disk
            full = log.read_bytes()
            assert full.endswith(b'\r\n')
            check_records(parse_lines(full, log.name), {'w0': {0: len(full.split(b'\r\n')) - 1}})
            filler.unlink()
            stop.touch()
            out, err = writer.communicate(timeout=RUN_TIMEOUT)
        finally:
            if writer.poll() is None:
                writer.kill()
                writer.wait()
        assert writer.returncode == 0, err
        counts = Writers._counts('w0', writer.returncode, out.decode(), err.decode())
        data = log.read_bytes()
        assert data.startswith(full)
        check_records(parse_lines(data, log.name), {'w0': counts})
    finally:
        subprocess.run(['umount', '-l', str(disk)], check=False)


# --- log_writer.exe under Wine ------------------------------------------------


@pytest.fixture
def wine_writers(tmp_path):
    root = os.environ.get('YX_WIN32_BUILD_DIR')
    if not root:
        pytest.skip('YX_WIN32_BUILD_DIR is not set')
    if shutil.which('wine') is None:
        pytest.skip('wine is not installed')
    program = pathlib.Path(root) / 'tests' / (PROGRAM + '.exe')
    if not program.is_file():
        pytest.fail(f'{program} is not built')
    writers_ = Writers(tmp_path, program, wine_prefix=pathlib.Path(os.environ['YX_WIN32_WINEPREFIX']))
    writers_.write_settings(SETTINGS)
    return writers_


def test_wine_one_process_two_threads(wine_writers):
    records = run_and_check_one_file(wine_writers, 1, 1000, threads=2)
    assert len(records) == 2000


def test_wine_process_end_without_close_writes_the_queue(wine_writers):
    assert len(run_without_close(wine_writers, 'exit')) == 50


def test_wine_two_processes_into_one_file(wine_writers):
    records = run_and_check_one_file(wine_writers, 2, 1000, threads=2)
    assert len(records) == 4000
