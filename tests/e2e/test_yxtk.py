"""The yxtk command end to end: the real binary against a mock logind on a
private system bus (never the machine's own), its console output, exit
codes and log file; and yxtk.exe under Wine for the modes that change
nothing.

Exit codes are Windows error codes; a Linux exit status keeps their low
eight bits.
"""

import os
import pathlib
import re
import shutil
import subprocess
import time

import pytest

from conftest import BusRunner, wait_until

BANNER_EN = 'yxtk.exe v1.0 (c) 2026 *** freeware\n'
BANNER_RU = 'yxtk.exe v1.0 (c) 2026 *** бесплатно\n'
USAGE_EN = ('Command line parameters\n'
            'yxtk.exe -<mode>\n'
            's  enters suspend mode immediately\n'
            'sq enters suspend mode with requesting permissions from other applications\n'
            'h  enters hibernation mode immediately\n'
            'hq enters hibernation mode with requesting permissions from other applications\n'
            'l  locks the workstation\n'
            'lo logs the user off\n'
            'sd shuts down the computer\n'
            'r  restarts the computer\n')
USAGE_RU = ('Параметры запуска\r\n'
            'yxtk.exe -<режим>\n'
            's  ждущий режим\n'
            'sq ждущий режим c предварительным запросом разрешения от других программ\n'
            'h  спящий режим\n'
            'hq спящий режим с предварительным запросом разрешения от других программ\n'
            'l  блокировка рабочей станции\n'
            'lo завершение сеанса пользователя\n'
            'sd выключение компьютера\n'
            'r  перезагрузка компьютера\n')
SUCCESS_EN = 'The operation completed successfully.'
INVALID_EN = 'The parameter is incorrect.'

ENGLISH = {'LC_ALL': 'en_US.UTF-8', 'LANG': 'en_US.UTF-8'}
RUSSIAN = {'LC_ALL': 'ru_RU.UTF-8', 'LANG': 'ru_RU.UTF-8'}

# Mode, the logind method it calls, and its arguments (with the method of a
# logind new enough for the skip-inhibitors flag).
MODES = [
    ('s', 'SuspendWithFlags', [16]),
    ('sq', 'Suspend', [False]),
    ('h', 'HibernateWithFlags', [16]),
    ('hq', 'Hibernate', [False]),
    ('l', 'LockSession', ['auto']),
    ('lo', 'TerminateSession', ['auto']),
    ('sd', 'PowerOff', [False]),
    ('r', 'Reboot', [False]),
]

SLEEP_BOUND_MS = 200


def case_mixes(mode):
    """The mode in lower case, upper case and one mixed form."""
    mixed = ''.join(c.upper() if i % 2 == 0 else c for i, c in enumerate(mode))
    return sorted({mode, mode.upper(), mixed})


class Yxtk(BusRunner):
    """Runs a yxtk binary with the private bus, in an English locale unless told."""

    def run(self, *args, locale=None, path=None, timeout=60):  # pylint: disable=arguments-differ
        result = self.run_raw(*args, path=path, timeout=timeout, **(locale or {}))
        return result.returncode, result.stdout.decode('utf-8'), result.stderr

    def run_raw(self, *args, **kwargs):
        """The CompletedProcess of one run, output undecoded."""
        return BusRunner.run(self, *args, **kwargs)


@pytest.fixture
def yxtk(binary, private_bus):
    return Yxtk(binary('yxtk'), private_bus, YX_SLEEP_SIGNAL_TIMEOUT_MS=SLEEP_BOUND_MS, **ENGLISH)


def flags_methods(logind):
    logind.add_method('SuspendWithFlags', 't')
    logind.add_method('HibernateWithFlags', 't')


@pytest.mark.parametrize('mode,method,args', MODES)
@pytest.mark.parametrize('switch', ['-', '/', '\\'])
def test_every_mode_and_switch_makes_its_call(yxtk, logind, mode, method, args, switch):
    flags_methods(logind)
    for form in case_mixes(mode):
        logind.clear_calls()
        code, out, _ = yxtk.run(switch + form)
        assert (code, out) == (0, BANNER_EN + SUCCESS_EN), form
        assert logind.calls() == [(method, args)], form


def test_help_prints_the_usage(yxtk, logind):
    for switch in '-/\\':
        code, out, _ = yxtk.run(switch + '?')
        assert (code, out) == (0, BANNER_EN + USAGE_EN + SUCCESS_EN)
    assert logind.calls() == []


def test_russian_user_gets_russian_texts(yxtk, logind):
    code, out, _ = yxtk.run('-?', locale=RUSSIAN)
    assert code == 0
    assert out.startswith(BANNER_RU + USAGE_RU)
    assert out[len(BANNER_RU + USAGE_RU):] != ''  # the system's success text, in Russian
    code, out, _ = yxtk.run('-x', locale=RUSSIAN)
    assert code == 87
    assert out.startswith(BANNER_RU) and out.endswith('\r\n' + USAGE_RU)
    assert logind.calls() == []


def test_russian_text_in_a_non_utf8_console_is_oem_866(yxtk):
    result = yxtk.run_raw('-?', LC_ALL='ru_RU.CP866', LANG='ru_RU.CP866')
    assert result.stdout.startswith(BANNER_RU.encode('cp866') + USAGE_RU.encode('cp866'))


@pytest.mark.parametrize('args', [[], ['-s', '-h'], ['-sd', 'extra', 'more']])
def test_wrong_argument_count_prints_usage_and_succeeds(yxtk, logind, args):
    code, out, _ = yxtk.run(*args)
    assert (code, out) == (0, BANNER_EN + USAGE_EN + SUCCESS_EN)
    assert logind.calls() == []


@pytest.mark.parametrize('argument', ['', '-', 's', 'xs', '-sd ', ' -sd', '-x', '--sd', '-s\td', '-é',
                                      '-\u0441d', 'é' * 50, '-' + 's' * 100000])
def test_unusable_argument_is_87_with_usage(yxtk, logind, argument):
    code, out, _ = yxtk.run(argument)
    assert (code, out) == (87, BANNER_EN + INVALID_EN + '\r\n' + USAGE_EN)
    assert logind.calls() == []


def test_non_utf8_argument_bytes(yxtk, logind):
    result = yxtk.run_raw(b'-\xff\xfe')
    assert result.returncode == 87
    assert logind.calls() == []


@pytest.mark.parametrize('mode,method,in_sig,error,code', [
    ('sd', 'PowerOff', 'b', 'org.freedesktop.DBus.Error.AccessDenied', 1314),
    ('r', 'Reboot', 'b', 'org.freedesktop.DBus.Error.InteractiveAuthorizationRequired', 1314),
    ('sq', 'Suspend', 'b', 'org.freedesktop.login1.BlockedByInhibitorLock', 1223),
    ('l', 'LockSession', 's', 'org.freedesktop.login1.NoSuchSession', 1168),
    ('hq', 'Hibernate', 'b', 'org.freedesktop.login1.SleepVerbNotSupported', 50),
    ('lo', 'TerminateSession', 's', 'org.freedesktop.login1.Whatever', 1359),
])
def test_logind_errors_become_windows_codes(yxtk, logind, mode, method, in_sig, error, code):
    logind.raise_error(method, in_sig, error)
    status, out, _ = yxtk.run('-' + mode)
    assert status == code & 0xFF
    assert out.startswith(BANNER_EN)
    message = out[len(BANNER_EN):]
    assert message and 'Command line parameters' not in message and not message.endswith('\n')


def test_refused_message_is_the_catalogue_text(yxtk, logind):
    logind.raise_error('PowerOff', 'b', 'org.freedesktop.DBus.Error.AccessDenied')
    _, out, _ = yxtk.run('-sd')
    assert out == BANNER_EN + 'A required privilege is not held by the client.'


def test_older_logind_without_flags_gets_plain_suspend(yxtk, logind):
    # The template has no SuspendWithFlags: the call falls back.
    code, out, _ = yxtk.run('-s')
    assert (code, out) == (0, BANNER_EN + SUCCESS_EN)
    assert logind.calls() == [('Suspend', [False])]
    logind.clear_calls()
    logind.raise_error('HibernateWithFlags', 't', 'org.freedesktop.DBus.Error.UnknownMethod')
    assert yxtk.run('-h')[0] == 0
    assert [c[0] for c in logind.calls()] == ['HibernateWithFlags', 'Hibernate']


def test_without_logind_the_service_is_missing(yxtk, logind):
    logind.stop()
    code, out, _ = yxtk.run('-l')
    assert code == 1062 & 0xFF
    assert out.startswith(BANNER_EN) and len(out) > len(BANNER_EN)


def test_suspend_returns_after_the_resume(yxtk, logind):
    flags_methods(logind)
    process = yxtk.start('-s')
    try:
        assert wait_until(lambda: logind.method_calls('SuspendWithFlags'))
        logind.emit_prepare_for_sleep(True)
        time.sleep(SLEEP_BOUND_MS * 3 / 1000)
        assert process.poll() is None  # asleep: past the bound, still waiting
        logind.emit_prepare_for_sleep(False)
        out, _ = process.communicate(timeout=30)
    finally:
        if process.poll() is None:
            process.kill()
    assert process.returncode == 0
    assert out.decode() == BANNER_EN + SUCCESS_EN


# --- Logging -------------------------------------------------------------

LINE = re.compile(r'^(\S*) (\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3}) Pid=0x[0-9a-f]{4,} Tid=0x[0-9a-f]{4,} (.*)$')


@pytest.fixture
def installed(tmp_path, binary):
    """A copy of yxtk in a directory of its own, where its settings and log
    files live."""
    path = tmp_path / 'yxtk'
    shutil.copy(binary('yxtk'), path)
    return path


def log_lines(directory, name='yxtk.log'):
    data = (directory / name).read_bytes()
    assert data.endswith(b'\r\n')
    return data.decode('cp1251').split('\r\n')[:-1]


def test_log_holds_start_action_and_end_in_order(yxtk, logind, installed):
    (installed.parent / 'yxtk.wli').write_text('[Evts]\r\nAP=\r\nWP=\r\n')
    assert yxtk.run('-L', path=installed)[0] == 0
    lines = log_lines(installed.parent)
    assert len(lines) == 3
    parsed = [LINE.match(line) for line in lines]
    assert all(parsed), lines
    assert [(m.group(1), m.group(3)) for m in parsed] == [
        ('AP.', 'Запуск (argc=2,argv[1]="-L")'),
        ('WP.', f'WindowsLock() end ({SUCCESS_EN})'),
        ('AP.', f'Завершение ({SUCCESS_EN})'),
    ]


def test_log_of_a_missing_argument_and_of_87(yxtk, logind, installed):
    (installed.parent / 'yxtk.wli').write_text('[Evts]\nAP=\n')
    yxtk.run(path=installed)
    yxtk.run('-50%s%n', path=installed)
    messages = [LINE.match(line).group(3) for line in log_lines(installed.parent)]
    assert messages == [
        'Запуск (argc=1,argv[1]="(null)")',
        f'Завершение ({SUCCESS_EN})',
        'Запуск (argc=2,argv[1]="-50%s%n")',
        f'Завершение ({INVALID_EN})',
    ]


def test_no_settings_file_no_log_file(yxtk, logind, installed):
    assert yxtk.run('-?', path=installed)[0] == 0
    assert yxtk.run('-l', path=installed)[0] == 0
    assert not (installed.parent / 'yxtk.log').exists()


def test_every_parameter_key_has_its_effect(yxtk, logind, installed):
    settings = installed.parent / 'yxtk.wli'
    settings.write_bytes('[Prms]\nTmFrmt=HH\'h\'mm\nPID=Off\nTID=on\n[Evts]\nAP=Запуск\n'.encode('cp1251'))
    yxtk.run('-?', path=installed)
    lines = log_lines(installed.parent)
    assert len(lines) == 1  # the message pattern lets only the start record through
    assert re.fullmatch(r'AP\. \d\dh\d\d Tid=0x[0-9a-f]{4,} Запуск \(argc=2,argv\[1\]="-\?"\)', lines[0]), lines

    # StrtMd=OVRWRT: only the last run stays.
    settings.write_text('[Prms]\nStrtMd=OVRWRT\nTmFrmt=\nPID=off\nTID=off\n[Evts]\nAP=\n')
    yxtk.run('-?', path=installed)
    yxtk.run('-x', path=installed)
    assert log_lines(installed.parent) == ['AP. Запуск (argc=2,argv[1]="-x")', f'AP. Завершение ({INVALID_EN})']

    # StrtMd=NEW: a file named after the open time.
    settings.write_text('[Prms]\nStrtMd=NEW\nTmFrmt=\nPID=off\nTID=off\n[Evts]\nAP=\n')
    yxtk.run('-?', path=installed)
    named = [p.name for p in installed.parent.glob('yxtk2*.log')]
    assert len(named) == 1 and re.fullmatch(r'yxtk\d{8}-\d{9}\.log', named[0])

    # FlshLns, FlshSec and PrmsRd change when records are written, not what:
    # with FlshLns=0 every record is written at once, so the file grows while
    # the command still runs (seen on a suspend that waits for its resume).
    settings.write_text('[Prms]\nFlshLns=0\nFlshSec=3600\nPrmsRd=3600\nTmFrmt=\nPID=off\nTID=off\n[Evts]\nAP=\n')
    (installed.parent / 'yxtk.log').unlink()
    flags_methods(logind)
    process = yxtk.start('-s', path=installed)
    try:
        assert wait_until(lambda: logind.method_calls('SuspendWithFlags'))
        logind.emit_prepare_for_sleep(True)
        assert wait_until(lambda: (installed.parent / 'yxtk.log').exists())
        assert log_lines(installed.parent) == ['AP. Запуск (argc=2,argv[1]="-s")']
        logind.emit_prepare_for_sleep(False)
        process.communicate(timeout=30)
    finally:
        if process.poll() is None:
            process.kill()
    assert log_lines(installed.parent)[-1] == f'AP. Завершение ({SUCCESS_EN})'


def test_settings_in_the_older_line_format(yxtk, logind, installed):
    (installed.parent / 'yxtk.wli').write_text('+WP\n!IMM\n')
    yxtk.run('-l', path=installed)
    lines = log_lines(installed.parent)
    assert len(lines) == 1 and lines[0].startswith('WP. ') and lines[0].endswith(f'WindowsLock() end ({SUCCESS_EN})')


# --- Windows build under Wine (only modes that change nothing) ------------

def wine_env(locale):
    env = dict(os.environ)
    env.update(**locale)
    return env


@pytest.fixture(scope='session')
def win32_build():
    directory = os.environ.get('YX_WIN32_BUILD_DIR')
    if not directory:
        pytest.skip('YX_WIN32_BUILD_DIR is not set')
    build = pathlib.Path(directory).resolve()
    exe = build / 'app' / 'yxtk.exe'
    if not exe.is_file():
        pytest.fail(f'{exe} is not built')
    return build


def run_wine(build, exe, args, locale, cwd=None):
    wine_run = pathlib.Path(__file__).resolve().parents[2] / 'cmake' / 'wine-run.sh'
    result = subprocess.run([str(wine_run), str(build / 'wineprefix'), str(exe), *args], env=wine_env(locale),
                            capture_output=True, timeout=120, check=False, cwd=cwd)
    return result.returncode, result.stdout


def crlf(text):
    """What the Windows runtime's text-mode standard output makes of text."""
    return text.replace('\n', '\r\n')


@pytest.mark.parametrize('locale,banner,usage,codepage', [
    (ENGLISH, BANNER_EN, USAGE_EN, 'cp437'),
    (RUSSIAN, BANNER_RU, USAGE_RU, 'cp866'),
])
def test_windows_build_under_wine(win32_build, locale, banner, usage, codepage):
    exe = win32_build / 'app' / 'yxtk.exe'
    expected_banner = crlf(banner).encode(codepage)
    expected_usage = crlf(usage).encode(codepage)

    code, out = run_wine(win32_build, exe, ['-?'], locale)
    assert code == 0
    assert out.startswith(expected_banner + expected_usage)

    code, out = run_wine(win32_build, exe, [], locale)
    assert code == 0 and out.startswith(expected_banner + expected_usage)

    code, out = run_wine(win32_build, exe, ['-x'], locale)
    assert code == 87
    assert out.startswith(expected_banner) and out.endswith(crlf('\r\n').encode() + expected_usage)
    message = out[len(expected_banner):-len(crlf('\r\n').encode() + expected_usage)]
    assert message  # the system's text for 87


def test_windows_build_writes_its_log(win32_build, tmp_path):
    exe = tmp_path / 'yxtk.exe'
    shutil.copy(win32_build / 'app' / 'yxtk.exe', exe)
    (tmp_path / 'yxtk.wli').write_bytes(b'[Prms]\r\nPID=Off\r\nTID=Off\r\nTmFrmt=\r\n[Evts]\r\nAP=\r\n')
    code, _ = run_wine(win32_build, exe, ['/x'], ENGLISH, cwd=tmp_path)
    assert code == 87
    lines = log_lines(tmp_path)
    assert len(lines) == 2
    assert lines[0] == 'AP. Запуск (argc=2,argv[1]="/x")'
    assert lines[1].startswith('AP. Завершение (') and lines[1].endswith(')')
