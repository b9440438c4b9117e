"""The yxtk command end to end: the real binary against a mock logind on a
private system bus (never the machine's own), its console output, exit
codes and log file; and yxtk.exe under Wine for the modes that change
nothing.

Exit codes are Windows error codes; a Linux exit status keeps their low
eight bits.
"""

import json
import os
import pathlib
import re
import resource
import shutil
import subprocess
import time

import dbus
import pytest

from conftest import LOGIND_MANAGER, LOGIND_PATH, BusRunner, wait_until, wine_command

# The expected texts (banner, usage, the system's texts of the codes the
# command ends with) and the case tables.
CASES = json.loads((pathlib.Path(__file__).parent / 'yxtk_cases.json').read_text(encoding='utf-8'))
LANGUAGES = {name: (language['locale'], language['banner'], ''.join(language['usage']), language['success'],
                    language['invalid']) for name, language in CASES['languages'].items()}
ENGLISH, BANNER_EN, USAGE_EN, SUCCESS_EN, INVALID_EN = LANGUAGES['en']
TEXT = {int(code): text for code, text in CASES['text'].items()}
# The logind method each mode ends in (the first refused or failed request).
METHOD = CASES['method']

SLEEP_BOUND_MS = 200


@pytest.fixture
def yxtk(binary, private_bus):
    return BusRunner(binary('yxtk'), private_bus, YX_SLEEP_SIGNAL_TIMEOUT_MS=SLEEP_BOUND_MS, **ENGLISH)


def flags_methods(logind):
    """The methods of a logind new enough for the skip-inhibitors flag."""
    logind.add_method('SuspendWithFlags', 't')
    logind.add_method('HibernateWithFlags', 't')


# --- Modes, arguments and texts -------------------------------------------

# Every mode, each switch and each case once, and the logind calls it makes:
# the modes that let applications refuse list the inhibitors first.
@pytest.mark.parametrize('argument,calls', CASES['modes'])
def test_every_mode_makes_its_calls(yxtk, logind, argument, calls):
    flags_methods(logind)
    assert yxtk.run(argument) == (0, BANNER_EN + SUCCESS_EN, '')
    assert logind.calls() == [tuple(call) for call in calls]


# Arguments that make no call: the usage and 0, or the text of 87 and the usage.
@pytest.mark.parametrize('args,code', [
    (['-?'], 0), (['/?'], 0), (['\\?'], 0), ([], 0), (['-s', '-h'], 0), (['-sd', 'extra', 'more'], 0),
    (['-é'], 87), (['-\u0441d'], 87), (['é' * 50], 87), (['-' + 's' * 100000], 87), ([b'-\xff\xfe'], 87),
])
def test_arguments_without_a_mode_print_the_usage(yxtk, logind, args, code):
    expected = BANNER_EN + (USAGE_EN + SUCCESS_EN if code == 0 else INVALID_EN + '\r\n' + USAGE_EN)
    assert yxtk.run(*args) == (code, expected, '')
    assert logind.calls() == []


# The texts in the language of the locale, in its codeset: ISO-8859-1 has no
# Cyrillic ('?' for each letter); an unknown codeset, or none, gets the OEM
# bytes.
@pytest.mark.parametrize('locale,language,codec', CASES['codesets'])
def test_texts_in_the_language_and_codeset_of_the_locale(yxtk, locale, language, codec):
    _, banner, usage, success, invalid = LANGUAGES[language]
    for argument, code, text in (('-?', 0, banner + usage + success), ('-x', 87, banner + invalid + '\r\n' + usage)):
        result = yxtk.run_raw(argument, **locale)
        assert (result.returncode, result.stdout) == (code, text.encode(codec, errors='replace')), argument


# --- What logind answers ---------------------------------------------------

# D-Bus error of the logind method -> Windows code.
@pytest.mark.parametrize('mode,sig,error,code', CASES['errors'])
def test_logind_errors_become_windows_codes(yxtk, logind, mode, sig, error, code):
    method = METHOD[mode]
    logind.raise_error(method, sig, error, message='refused: 100% sure')
    # A failed sleep request does not wait for a sleep: the bound is long.
    status, out, err = yxtk.run('-' + mode, timeout=20, YX_SLEEP_SIGNAL_TIMEOUT_MS=60000)
    assert (status, out) == (code & 0xFF, BANNER_EN + TEXT[code])
    # The cause goes to standard error, one line.
    assert err == f'yxtk: {method}: {error}: refused: 100% sure\n'
    assert logind.method_calls(method) == [[False] if sig == 'b' else ['auto']]


# The at-once modes: the method with the skip-inhibitors flag (absent from
# the template, or answering an error), and the plain call after it when
# logind lacks the method or the flag; never after a refusal.
@pytest.mark.parametrize('mode,flags_error,plain_error,calls,code', CASES['fallbacks'])
def test_at_once_modes_fall_back_to_the_plain_call(yxtk, logind, mode, flags_error, plain_error, calls, code):
    if flags_error:
        logind.raise_error(METHOD[mode], 't', flags_error)
    if plain_error:
        logind.raise_error(calls[-1][0], 'b', plain_error)
    assert yxtk.run('-' + mode)[:2] == (code & 0xFF, BANNER_EN + TEXT[code])
    assert logind.calls() == [tuple(call) for call in calls]


# Inhibitors as logind lists them (what, who, why, mode, uid, pid), and
# whether a block stands against each mode: sleep blocks the asking sleep
# modes, shutdown blocks power-off and restart; delay inhibitors, other kinds
# and the at-once modes (which skip inhibitors) go ahead, and so does every
# mode when the list cannot be had.
@pytest.mark.parametrize('inhibitors,refusals', CASES['inhibitors'])
def test_block_inhibitors_refuse_the_asking_modes(yxtk, logind, inhibitors, refusals):
    flags_methods(logind)
    if inhibitors is None:
        logind.raise_error('ListInhibitors', '', 'org.freedesktop.DBus.Error.AccessDenied')
    else:
        logind.add_method('ListInhibitors', '', f'ret = {[tuple(i) for i in inhibitors]!r}', out_sig='a(ssssuu)')
    for mode, refused in refusals.items():
        logind.clear_calls()
        code, out, err = yxtk.run('-' + mode)
        made = [c[0] for c in logind.calls() if c[0] != 'ListInhibitors']
        if refused:
            _, who, why, _, uid, pid = inhibitors[0]
            assert (code, out, made) == (1223 & 0xFF, BANNER_EN + TEXT[1223], []), mode
            assert err == f'yxtk: {METHOD[mode]}: inhibited by "{who}" (PID {pid}, user {uid}), reason is "{why}"\n'
        else:
            assert (code, out, err, made) == (0, BANNER_EN + SUCCESS_EN, '', [METHOD[mode]]), mode


def test_without_logind_or_bus_every_mode_gives_1062(yxtk, logind, private_bus):
    logind.stop()
    for mode, method in METHOD.items():
        code, out, err = yxtk.run('-' + mode)
        assert (code, out) == (1062 & 0xFF, BANNER_EN + TEXT[1062]), mode
        assert re.fullmatch(f'yxtk: {method}: org.freedesktop.DBus.Error.ServiceUnknown: [^\n]*\n', err), err
    for mode in ('sd', 's'):
        code, _, err = yxtk.run('-' + mode, DBUS_SYSTEM_BUS_ADDRESS=f'unix:path={private_bus.dir}/no-such-socket')
        assert code == 1062 & 0xFF and err.startswith('yxtk: cannot connect to the system bus: '), err


# libsystemd that cannot be used: every request fails with 1062 and names the
# cause. The loader finds the stand-in (empty, or one function under a version
# tag) through LD_LIBRARY_PATH.
@pytest.mark.parametrize('version,cause', [
    (None, 'libsystemd.so.0: file too short'),
    ('221', 'libsystemd.so.0 has no sd_bus_flush (LIBSYSTEMD_221)'),
    ('247', 'libsystemd.so.0 has no sd_bus_open_system (LIBSYSTEMD_221)'),
], ids=['empty', 'missing-functions', 'later-version'])
def test_unusable_libsystemd_gives_1062_with_its_cause(yxtk, logind, tmp_path, version, cause):
    if version is None:
        (tmp_path / 'libsystemd.so.0').write_bytes(b'')
    else:
        (tmp_path / 'stub.c').write_text('int sd_bus_open_system(void **bus) { *bus = 0; return -1; }\n')
        (tmp_path / 'stub.map').write_text(f'LIBSYSTEMD_{version} {{ global: sd_bus_open_system; local: *; }};\n')
        subprocess.run(['cc', '-shared', '-fPIC', '-o', str(tmp_path / 'libsystemd.so.0'),
                        f'-Wl,--version-script={tmp_path / "stub.map"}', str(tmp_path / 'stub.c')], check=True)
    for mode in ('-l', '-s', '-sd'):
        code, out, err = yxtk.run(mode, LD_LIBRARY_PATH=str(tmp_path))
        assert (code, out) == (1062 & 0xFF, BANNER_EN + TEXT[1062])
        assert err.startswith('yxtk: cannot use libsystemd: ') and err.endswith(cause + '\n'), err
        assert err.count('\n') == 1
    assert logind.calls() == []


# --- The wait for the resume -----------------------------------------------

def announce_sleep(logind, method, sig, *starts):
    """Makes `method` send PrepareForSleep(start) for each start before it answers."""
    emits = ''.join(f'self.EmitSignal({LOGIND_MANAGER!r}, "PrepareForSleep", "b", [{s}]); ' for s in starts)
    logind.add_method(method, sig, emits)


@pytest.mark.parametrize('mode,sig,end', [('sq', 'b', 'resume'), ('h', 't', 'resume'), ('s', 't', 'logind leaves')])
def test_sleep_lasts_until_the_resume(yxtk, logind, mode, sig, end):
    announce_sleep(logind, METHOD[mode], sig, True)
    with yxtk.start('-' + mode) as process:
        assert wait_until(lambda: logind.method_calls(METHOD[mode]))
        # Asleep: the bound of the wait for the sleep no longer applies.
        time.sleep(3 * SLEEP_BOUND_MS / 1000)
        assert process.poll() is None, 'returned before the resume'
        if end == 'resume':
            logind.emit_prepare_for_sleep(False)
        else:
            logind.stop()
        out, err = process.communicate(timeout=10)
    assert (process.returncode, out.decode(), err) == (0, BANNER_EN + SUCCESS_EN, b'')


def test_signals_during_the_request_are_not_missed(yxtk, logind):
    # The match is in place before the call, or the wait would last the bound.
    announce_sleep(logind, 'Suspend', 'b', True, False)
    assert yxtk.run('-sq', timeout=20, YX_SLEEP_SIGNAL_TIMEOUT_MS=60000)[0] == 0
    assert logind.method_calls('Suspend') == [[False]]


def test_without_a_signal_from_logind_the_wait_ends_at_its_bound(yxtk, logind, private_bus):
    bound_ms = 500
    started = time.monotonic()
    with yxtk.start('-sq', YX_SLEEP_SIGNAL_TIMEOUT_MS=bound_ms) as process:
        assert wait_until(lambda: logind.method_calls('Suspend'))
        # The same signal from another sender (the test's connection) is no sleep.
        for start in (True, False):
            message = dbus.lowlevel.SignalMessage(LOGIND_PATH, LOGIND_MANAGER, 'PrepareForSleep')
            message.append(start, signature='b')
            private_bus.connection.send_message(message)
        private_bus.connection.flush()
        process.communicate(timeout=10)
    assert process.returncode == 0
    assert time.monotonic() - started >= bound_ms / 1000


# --- Standard output that goes nowhere -------------------------------------

@pytest.mark.parametrize('args,code', [(['-l'], 0), (['-?'], 0), ([], 0), (['-x'], 87), (['-sd'], 1314)])
def test_a_closed_pipe_never_changes_the_exit_status(yxtk, logind, args, code):
    logind.raise_error('PowerOff', 'b', 'org.freedesktop.DBus.Error.AccessDenied')
    read_end, write_end = os.pipe()
    os.close(read_end)
    with os.fdopen(write_end, 'wb') as closed_pipe:
        result = subprocess.run([str(yxtk.path), *args], env=yxtk.env(), stdout=closed_pipe,
                                stderr=subprocess.PIPE, timeout=60, check=False)
    assert result.returncode == code & 0xFF, result.stderr
    if args == ['-l']:
        assert logind.method_calls('LockSession') == [['auto']]  # the action ran


# --- Logging -------------------------------------------------------------

LINE = re.compile(r'^(\S*) (\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3}) Pid=0x[0-9a-f]{4,} Tid=0x[0-9a-f]{4,} (.*)$')
PLAIN = '[Prms]\nTmFrmt=\nPID=off\nTID=off\n[Evts]\nAP=\n'


@pytest.fixture
def installed(tmp_path, binary):
    """A copy of yxtk in a directory of its own, beside its settings and log."""
    path = tmp_path / 'yxtk'
    shutil.copy(binary('yxtk'), path)
    return path


def log_lines(directory, name='yxtk.log'):
    data = (directory / name).read_bytes()
    assert data.endswith(b'\r\n')
    return data.decode('cp1251').split('\r\n')[:-1]


# An argument reaches the command (and its log) in the ANSI code page: a
# letter the code page lacks is '?' (in English the help mode, as on
# Windows), so are bytes that are no UTF-8; without a codeset the bytes go
# as they came. The table writes the logged bytes as the characters U+00XX.
@pytest.mark.parametrize('locale,argument,codec,logged,code', CASES['ansi_arguments'])
def test_arguments_reach_the_command_in_the_ansi_code_page(yxtk, logind, installed, locale, argument, codec, logged,
                                                           code):
    (installed.parent / 'yxtk.wli').write_text(PLAIN)
    result = yxtk.run_raw(argument.encode(codec), path=installed, **locale)
    assert result.returncode == code
    first = (installed.parent / 'yxtk.log').read_bytes().split(b'\r\n')[0]
    assert first == 'AP. Запуск (argc=2,argv[1]="'.encode('cp1251') + logged.encode('latin_1') + b'")'
    assert logind.calls() == []


def test_a_program_path_with_a_double_quote_finds_its_settings(yxtk, logind, tmp_path):
    directory = tmp_path / 'say "hi" there'
    directory.mkdir()
    for name in ('yx"tk', 'yxtk'):
        program = directory / name
        shutil.copy(yxtk.path, program)
        (directory / f'{name}.wli').write_text(PLAIN)
        assert yxtk.run('-l', path=program)[0] == 0
        assert log_lines(directory, f'{name}.log')[0] == 'AP. Запуск (argc=2,argv[1]="-l")', name


def test_log_holds_start_action_and_end_in_order(yxtk, logind, installed):
    (installed.parent / 'yxtk.wli').write_text('[Evts]\r\nAP=\r\nWP=\r\n')
    assert yxtk.run('-L', path=installed)[0] == 0
    yxtk.run(path=installed)
    yxtk.run('-50%s%n', path=installed)
    parsed = [LINE.match(line) for line in log_lines(installed.parent)]
    assert all(parsed)
    assert [(m.group(1), m.group(3)) for m in parsed] == [
        ('AP.', 'Запуск (argc=2,argv[1]="-L")'),
        ('WP.', f'WindowsLock() end ({SUCCESS_EN})'),
        ('AP.', f'Завершение ({SUCCESS_EN})'),
        ('AP.', 'Запуск (argc=1,argv[1]="(null)")'),
        ('AP.', f'Завершение ({SUCCESS_EN})'),
        ('AP.', 'Запуск (argc=2,argv[1]="-50%s%n")'),
        ('AP.', f'Завершение ({INVALID_EN})'),
    ]


def test_settings_shape_the_lines_and_when_they_are_written(yxtk, logind, installed):
    settings = installed.parent / 'yxtk.wli'
    settings.write_bytes('[Prms]\nTmFrmt=HH\'h\'mm\nPID=Off\nTID=on\n[Evts]\nAP=Запуск\n'.encode('cp1251'))
    yxtk.run('-?', path=installed)
    lines = log_lines(installed.parent)
    assert len(lines) == 1  # the message pattern lets only the start record through
    assert re.fullmatch(r'AP\. \d\dh\d\d Tid=0x[0-9a-f]{4,} Запуск \(argc=2,argv\[1\]="-\?"\)', lines[0]), lines

    # FlshLns, FlshSec and PrmsRd change when records are written, not what:
    # with FlshLns=0 every record is written at once, so the file grows while
    # the command still runs (seen on a suspend that waits for its resume).
    settings.write_text('[Prms]\nFlshLns=0\nFlshSec=3600\nPrmsRd=3600\n' + PLAIN[7:])
    (installed.parent / 'yxtk.log').unlink()
    announce_sleep(logind, 'Suspend', 'b', True)
    with yxtk.start('-sq', path=installed) as process:
        assert wait_until(lambda: logind.method_calls('Suspend'))
        assert log_lines(installed.parent) == ['AP. Запуск (argc=2,argv[1]="-sq")']
        logind.emit_prepare_for_sleep(False)
        process.communicate(timeout=10)
    assert log_lines(installed.parent)[-1] == f'AP. Завершение ({SUCCESS_EN})'


@pytest.mark.parametrize('limit_mb', [20, 60])
def test_exhausted_memory_ends_with_1359(build_dir, installed, limit_mb):
    """Memory runs out reading a huge settings file: the command says so on
    standard error and exits with 1359 (its low byte on Linux), never abort."""
    cache = build_dir / 'CMakeCache.txt'
    if cache.is_file() and '-fsanitize' in cache.read_text(errors='replace'):
        pytest.skip("a sanitizer's shadow memory does not fit an address-space limit")
    (installed.parent / 'yxtk.wli').write_text('[Evts]\n' + ''.join(f'K{i:07d}=v\n' for i in range(1200000)))
    result = subprocess.run([str(installed), '-?'], capture_output=True, timeout=60, stdin=subprocess.DEVNULL,
                            preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, (limit_mb << 20,) * 2),
                            check=False)
    assert result.returncode == 1359 % 256, result.stderr
    assert result.stderr.strip()


# --- Odd settings files, and running as root ------------------------------

@pytest.mark.parametrize('which,kind', [('yxtk.wli', None), ('yxtk.wli', 'fifo'), ('yxtk.log', 'fifo'),
                                        ('yxtk.log', 'directory')])
def test_odd_files_never_block(yxtk, logind, installed, which, kind):
    """No settings file, or one that is no regular file, means no log; a log
    path that is no regular file fails its batches. Neither makes the run wait
    (the platform layer's tests open every odd kind)."""
    if which == 'yxtk.log':
        (installed.parent / 'yxtk.wli').write_text('[Evts]\nAP=\n')
    if kind == 'fifo':
        os.mkfifo(installed.parent / which)
    elif kind == 'directory':
        (installed.parent / which).mkdir()
    assert yxtk.run('-?', path=installed, timeout=30)[:2] == (0, BANNER_EN + USAGE_EN + SUCCESS_EN)
    assert yxtk.run('-l', path=installed, timeout=30)[:2] == (0, BANNER_EN + SUCCESS_EN)
    if which == 'yxtk.wli':
        assert not (installed.parent / 'yxtk.log').exists()


# Name, settings owner, settings mode, log is a link, lines expected.
@pytest.mark.parametrize('name,owner,mode,link,lines', CASES['root'], ids=[c[0] for c in CASES['root']])
def test_root_trusts_no_file_another_user_controls(yxtk, logind, installed, name, owner, mode, link, lines):
    """As root, a settings file that another user owns or may write is
    ignored, and the log is never written through a symbolic link."""
    if os.geteuid() != 0:
        pytest.skip('needs root: the checks apply only to the effective user root')
    directory = installed.parent
    settings = directory / 'yxtk.wli'
    settings.write_text('[Evts]\nAP=\n')
    os.chown(settings, owner, owner)
    os.chmod(settings, int(mode, 8))
    target = directory / 'root-owned'
    target.write_bytes(b'kept\n')
    if link:
        (directory / 'yxtk.log').symlink_to(target)
    assert yxtk.run('-?', path=installed, timeout=30)[0] == 0
    assert target.read_bytes() == b'kept\n'
    if link:
        assert (directory / 'yxtk.log').is_symlink()
    elif lines:
        assert len(log_lines(directory)) == lines
    else:
        assert not (directory / 'yxtk.log').exists()


# --- The Windows build under Wine (only modes that change nothing) --------

def run_wine(exe, args, locale, cwd=None):
    result = subprocess.run(wine_command(exe, *args), env={**os.environ, **locale}, capture_output=True, timeout=120,
                            check=False, cwd=cwd)
    return result.returncode, result.stdout


# Differential table: arguments, language, the console's code page under
# Windows, and the layout both builds print, the system's text of the code
# standing for {message} (one line; its words are each system's own).
@pytest.mark.parametrize('args,language,codepage,layout', CASES['wine'])
def test_windows_build_prints_as_the_linux_build(win32_build, yxtk, args, language, codepage, layout):
    locale, banner, usage = LANGUAGES[language][:3]
    pattern = re.escape(layout.format(banner=banner, usage=usage, message='@')).replace('@', '([^\r\n]+)')
    linux = yxtk.run(*args, **locale)
    wine = run_wine(win32_build / 'app' / 'yxtk.exe', args, locale)
    # The Windows runtime's text-mode standard output ends each line in CR LF.
    wine_text = wine[1].decode(codepage).replace('\r\n', '\n')
    assert wine[0] == linux[0]
    assert re.fullmatch(pattern, linux[1]), linux[1]
    assert re.fullmatch(pattern, wine_text), wine_text


def test_windows_build_writes_its_log(win32_build, tmp_path):
    exe = tmp_path / 'yxtk.exe'
    shutil.copy(win32_build / 'app' / 'yxtk.exe', exe)
    (tmp_path / 'yxtk.wli').write_bytes(PLAIN.replace('\n', '\r\n').encode())
    assert run_wine(exe, ['/x'], ENGLISH, cwd=tmp_path)[0] == 87
    lines = log_lines(tmp_path)
    assert len(lines) == 2 and lines[0] == 'AP. Запуск (argc=2,argv[1]="/x")'
    assert re.fullmatch(r'AP\. Завершение \([^\r\n]+\)', lines[1]), lines
