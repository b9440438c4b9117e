"""Several processes logging into one log file at once.

Each process is tests/log_writer (tests/tools/log_writer.cpp), copied into a
temporary directory with its settings file beside it. The loggers of
different processes share no lock: a batch that finds the file held by
another process's batch keeps its records for the next one. Whatever the
interleaving, every record must reach the file exactly once, as one intact
line, each process's records in order; so too for log_writer.exe under Wine.
"""
import datetime
import os
import re
import shutil
import subprocess
import time

import pytest

from conftest import end, wait_until, wine_command

SETTINGS = '[Prms]\nFlshLns=100\n[Evts]\nT=\n'
PAYLOAD = ('0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz' * 2)[:100]
# Generous: the writers fsync every batch, and a loaded machine may be slow.
RUN_TIMEOUT = 300
WAIT_TIMEOUT = 60
PROGRAM = 'log_writer'

# One line as the logger lays it out, without its CR LF.
LINE = re.compile(
    r'T\. (?:(?P<time>\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3}) )?Pid=(?P<pid_field>0x[0-9a-f]{4,}) '
    r'Tid=(?P<tid>0x[0-9a-f]{4,}) w=(?P<tag>\S+) pid=(?P<pid>\d+) t=(?P<thread>\d+) n=(?P<n>\d+) (?P<payload>.*)')


def parse_lines(data, name, *, timed=None):
    """Parses every line of a log file's bytes, each completely: every line
    ends in CR LF, neither byte occurs elsewhere, and every field is sound.
    timed: True or False demands a time stamp or its absence; None takes both."""
    assert data.endswith(b'\r\n') or not data, f'{name}: the last line is not terminated'
    records = []
    for index, line in enumerate(data.split(b'\r\n')[:-1] if data else []):
        where = f'{name}:{index + 1}: {line!r}'
        match = LINE.fullmatch(line.decode('ascii'))
        assert match and match['payload'] == PAYLOAD, f'{where}: malformed'
        record = match.groupdict()
        record.update(pid=int(record['pid']), thread=int(record['thread']), n=int(record['n']))
        # Raises for a time stamp that is no possible date and time.
        record['stamp'] = record['time'] and datetime.datetime.strptime(record['time'], '%d.%m.%Y %H:%M:%S.%f')
        assert timed is None or bool(record['time']) == timed, f'{where}: time stamp'
        assert record['pid_field'] == format(record['pid'], '#06x'), f'{where}: Pid= is not the process'
        assert record['tid'] == format(int(record['tid'], 16), '#06x'), f'{where}: Tid= not as %#06x'
        records.append(record)
    return records


def check_records(records, expected, *, since=None, until=None):
    """Every expected record ({tag: {thread: count}}) exactly once, each
    thread's records in order, one process id per writer and one thread id
    per thread; time stamps within the run and, per writer, never going back."""
    by_thread = {}
    for record in records:
        by_thread.setdefault((record['tag'], record['thread']), []).append(record)
    assert set(by_thread) == {(t, i) for t, threads in expected.items() for i, n in threads.items() if n}
    for (tag, thread), got in by_thread.items():
        numbers = [r['n'] for r in got]
        assert numbers == list(range(expected[tag][thread])), \
            f'writer {tag} thread {thread}: {len(numbers)} records, {len(set(numbers))} distinct, not in order'
        assert len({(r['pid'], r['tid']) for r in got}) == 1, f'writer {tag} thread {thread}: ids vary'
    pids = {tag: {got[0]['pid'] for (t, _), got in by_thread.items() if t == tag} for tag in expected}
    assert all(len(p) == 1 for p in pids.values()) and len(set.union(*pids.values())) == len(pids), pids
    tids = [got[0]['tid'] for got in by_thread.values()]
    assert len(set(tids)) == len(tids), 'threads share a Tid'
    last = {}
    for record in (r for r in records if r['stamp']):
        assert since is None or since <= record['stamp'] <= until, f'{record} outside the run'
        assert last.get(record['tag'], record['stamp']) <= record['stamp'], f'{record}: time stamp goes back'
        last[record['tag']] = record['stamp']


class Writers:
    """log_writer copied into a fresh directory, and a way to run copies of it."""

    def __init__(self, directory, program, wine=False):
        self.dir = directory / 'logdir'
        self.dir.mkdir()
        self.markers = directory / 'markers'
        self.markers.mkdir()
        self.wine = wine
        self.program = self.dir / (PROGRAM + ('.exe' if wine else ''))
        shutil.copy2(program, self.program)
        self.settings = self.dir / (PROGRAM + '.wli')
        self.log = self.dir / (PROGRAM + '.log')

    def write_settings(self, text):
        """Replaces the settings file at one stroke, so that a logger reading
        it meanwhile sees either the old or the new text, never a part."""
        staging = self.dir.parent / 'settings.tmp'
        staging.write_bytes(text.replace('\n', '\r\n' if self.wine else '\n').encode('ascii'))
        os.replace(staging, self.settings)

    def command(self, args):
        if self.wine:
            args = ['Z:' + a.replace('/', '\\') if a.startswith('/') else a for a in args]
            return wine_command(self.program, *args)
        return [str(self.program)] + args

    def run(self, count, records, *, threads=1, stop=False, on_writing=None):
        """Runs writers w0, w1, ... together and returns, by tag, the records each
        thread logged; on_writing() is called once all are writing, and with
        `stop` they log until it has returned."""
        go = self.markers / 'go'
        stop_file = self.markers / 'stop'
        processes = {}
        for i in range(count):
            args = ['-w', f'w{i}', '-t', str(threads), '-r', str(self.markers / f'r{i}'),
                    '-g', str(go)] + (['-s', str(stop_file)] if stop else [])
            processes[f'w{i}'] = subprocess.Popen(self.command(args + [str(records)]), cwd=self.dir.parent,
                                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                                  stdin=subprocess.DEVNULL)
        try:
            ready = wait_until(lambda: all((self.markers / f'r{i}').exists() for i in range(count)) or
                               any(p.poll() is not None for p in processes.values()), timeout=WAIT_TIMEOUT)
            assert ready and all(p.poll() is None for p in processes.values()), 'the writers did not all open'
            go.touch()
            if on_writing:
                on_writing()
            stop_file.touch()
            deadline = time.monotonic() + RUN_TIMEOUT
            outputs = {tag: p.communicate(timeout=max(1, deadline - time.monotonic())) + (p.returncode,)
                       for tag, p in processes.items()}
        finally:
            for process in processes.values():
                end(process)
        self.pids = {tag: p.pid for tag, p in processes.items()}
        return {tag: counts(tag, *output) for tag, output in outputs.items()}


def counts(tag, out, err, returncode):
    """The records of each thread from a writer's report, which must tell of
    none still queued after Close (lost) and none dropped by the queue bound."""
    # A Windows program's standard output ends its lines in CR LF.
    out = out.decode(errors='replace').replace('\r\n', '\n')
    assert returncode == 0 and re.search(r'^records \d+ left 0 dropped 0$', out, re.M), f'writer {tag}: {out} {err}'
    return {int(i): int(n) for i, n in re.findall(r'^thread (\d+) records (\d+)$', out, re.M)}


@pytest.fixture
def writers(request, tmp_path, binary):
    """Writers of the Linux build, or (parameter 'wine') of the Windows build
    under Wine."""
    if getattr(request, 'param', 'linux') == 'linux':
        return Writers(tmp_path, binary(PROGRAM))
    return Writers(tmp_path, request.getfixturevalue('win32_build') / 'tests' / (PROGRAM + '.exe'), wine=True)


EARLIER = b'an earlier run\r\n'


@pytest.mark.parametrize('writers,count', [('linux', 4), ('wine', 2)], indirect=['writers'], ids=['linux', 'wine'])
def test_processes_log_into_one_file(writers, count):
    """Two threads each in `count` processes append to a file that holds an
    earlier run."""
    records_each = 1000 if writers.wine else 2500
    writers.write_settings(SETTINGS)
    writers.log.write_bytes(EARLIER)
    since = datetime.datetime.now() - datetime.timedelta(seconds=2)
    expected = {f'w{i}': {0: records_each, 1: records_each} for i in range(count)}
    assert writers.run(count, records_each, threads=2) == expected
    until = datetime.datetime.now() + datetime.timedelta(seconds=2)
    assert sorted(writers.dir.glob('*.log')) == [writers.log]
    data = writers.log.read_bytes()
    assert data.startswith(EARLIER)
    records = parse_lines(data[len(EARLIER):], writers.log.name, timed=True)
    # The processes really wrote side by side: their batches interleave.
    assert sum(1 for a, b in zip(records, records[1:]) if a['tag'] != b['tag']) >= count
    check_records(records, expected, since=since, until=until)
    if not writers.wine:
        assert {(r['tag'], r['pid']) for r in records} == set(writers.pids.items())


@pytest.mark.parametrize('writers,how', [('linux', 'exit'), ('linux', 'return'), ('wine', 'exit')],
                         indirect=['writers'])
def test_process_end_without_close_writes_the_queue(writers, how):
    """The flush lines are never reached: only the logger's end writes."""
    writers.write_settings('[Prms]\nFlshLns=100000\n[Evts]\nT=\n')
    result = subprocess.run(writers.command(['-w', 'w0', '-x', how, '50']),
                            cwd=writers.dir.parent, capture_output=True, timeout=RUN_TIMEOUT,
                            stdin=subprocess.DEVNULL, check=False)
    assert result.returncode == 0, result.stderr
    check_records(parse_lines(writers.log.read_bytes(), writers.log.name, timed=True), {'w0': {0: 50}})


def test_settings_change_while_processes_write(writers):
    """The new time pattern holds from each logger's next settings read on;
    then the settings file becomes a FIFO, which counts as absent: nothing
    more is written, and no writer waits for a FIFO writer."""
    writers.write_settings('[Prms]\nFlshLns=0\nPrmsRd=1\n[Evts]\nT=\n')
    tags = {'w0', 'w1', 'w2'}

    def complete_lines():
        data = writers.log.read_bytes() if writers.log.exists() else b''
        return data[:data.rfind(b'\r\n') + 2]

    def tags_seen(timed):
        return {r['tag'] for r in parse_lines(complete_lines(), writers.log.name) if bool(r['time']) == timed}

    snapshot = {}

    def change_settings():
        assert wait_until(lambda: tags_seen(True) >= tags, timeout=WAIT_TIMEOUT, interval=0.05)
        snapshot['before'] = complete_lines()
        writers.write_settings('[Prms]\nTmFrmt=\nFlshLns=0\nPrmsRd=1\n[Evts]\nT=\n')
        assert wait_until(lambda: tags_seen(False) >= tags, timeout=WAIT_TIMEOUT, interval=0.05), \
            'not every writer took up the new time pattern'
        writers.settings.unlink()
        os.mkfifo(writers.settings)
        # After the next settings read no record passes: the file stops growing.
        sizes = []
        assert wait_until(lambda: sizes.append(writers.log.stat().st_size) or
                          (len(sizes) > 25 and sizes[-1] == sizes[-25]), timeout=WAIT_TIMEOUT, interval=0.1)
        snapshot['stopped'] = writers.log.read_bytes()

    logged = writers.run(3, 100, stop=True, on_writing=change_settings)
    data = writers.log.read_bytes()
    assert data == snapshot['stopped'] and data.startswith(snapshot['before'])
    parse_lines(snapshot['before'], writers.log.name, timed=True)
    records = parse_lines(data, writers.log.name)
    # Each process switches once: its old-layout lines, then its new-layout ones.
    for tag in tags:
        layout = [bool(r['time']) for r in records if r['tag'] == tag]
        switch = layout.index(False)
        assert switch > 0 and all(layout[:switch]) and not any(layout[switch:]), f'writer {tag}: layout'
        written = [r['n'] for r in records if r['tag'] == tag]
        assert written == list(range(len(written))) and len(written) < logged[tag][0]


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
        # Fill the device, then free one page: the first batches fit part of
        # it, the next stop half-way through a line.
        filler = disk / 'filler'
        with open(filler, 'wb', buffering=0) as out:
            for size in (1 << 16, 4096, 512, 64, 8, 1):
                try:
                    while True:
                        out.write(b'\0' * size)
                except OSError:
                    pass
        os.truncate(filler, filler.stat().st_size - 4096)
        stop = tmp_path / 'stop'
        writer = subprocess.Popen([str(program), '-w', 'w0', '-s', str(stop), '200'],
                                  cwd=tmp_path, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  stdin=subprocess.DEVNULL)
        try:
            # The device is full now; the file holds whole lines only.
            assert wait_until(lambda: log.exists() and log.stat().st_size > 4096 - 300, timeout=WAIT_TIMEOUT)
            time.sleep(0.3)  # more batches meet the full disk
            full = log.read_bytes()
            check_records(parse_lines(full, log.name), {'w0': {0: full.count(b'\r\n')}})
            filler.unlink()
            stop.touch()
            out, err = writer.communicate(timeout=RUN_TIMEOUT)
        finally:
            end(writer)
        data = log.read_bytes()
        assert data.startswith(full)
        check_records(parse_lines(data, log.name), {'w0': counts('w0', out, err, writer.returncode)})
    finally:
        subprocess.run(['umount', '-l', str(disk)], check=False)
