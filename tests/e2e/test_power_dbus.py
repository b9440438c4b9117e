"""The Linux power services against a mock logind on a private system bus:
which logind method each call makes with which arguments, the fallback of
the at-once sleep calls for an older logind, the D-Bus errors as Windows
codes, and the wait for the resume after suspend and hibernation.

The calls run in tests/tools/power_probe, which prints "ok" or "error <code>".
"""

import shutil
import subprocess
import time

import pytest

from conftest import LOGIND_MANAGER, LOGIND_PATH, BusRunner, wait_until

# Bound of the wait for PrepareForSleep(true) in most tests: the mock's
# methods do not emit PrepareForSleep on their own.
SHORT_SLEEP_BOUND_MS = 200


class Probe(BusRunner):
    """Runs power_probe with the private bus."""

    def run(self, call, bound_ms=SHORT_SLEEP_BOUND_MS, timeout=60, **extra):  # pylint: disable=arguments-differ
        """Runs one call; returns the printed outcome ("ok", "error 1314")."""
        result = self.run_raw(call, bound_ms, timeout, **extra)
        outcome = result.stdout.decode().strip()
        expected_status = 0 if outcome == 'ok' else int(outcome.split()[1]) & 0xFF
        assert result.returncode == expected_status, (result.returncode, result.stdout, result.stderr)
        return outcome

    def run_raw(self, call, bound_ms=SHORT_SLEEP_BOUND_MS, timeout=60, **extra):
        """The CompletedProcess of one call, not checked."""
        return BusRunner.run(self, call, timeout=timeout, YX_SLEEP_SIGNAL_TIMEOUT_MS=bound_ms, **extra)

    def start(self, call, bound_ms):  # pylint: disable=arguments-differ
        return super().start(call, YX_SLEEP_SIGNAL_TIMEOUT_MS=bound_ms)


@pytest.fixture
def probe(binary, private_bus):
    return Probe(binary('power_probe'), private_bus)


def add_sleep_with_flags(logind):
    """The methods of a logind new enough for SD_LOGIND_SKIP_INHIBITORS."""
    logind.add_method('SuspendWithFlags', 't')
    logind.add_method('HibernateWithFlags', 't')


# Every call, and the logind methods it must make with their arguments: the
# requests that let applications refuse list the inhibitors first.
LIST = ('ListInhibitors', [])
CALLS = [
    ('suspend-force', [('SuspendWithFlags', [16])]),
    ('hibernate-force', [('HibernateWithFlags', [16])]),
    ('suspend', [LIST, ('Suspend', [False])]),
    ('hibernate', [LIST, ('Hibernate', [False])]),
    ('lock', [('LockSession', ['auto'])]),
    ('logoff', [('TerminateSession', ['auto'])]),
    ('poweroff', [LIST, ('PowerOff', [False])]),
    ('reboot', [LIST, ('Reboot', [False])]),
]


@pytest.mark.parametrize('call,calls', CALLS)
def test_each_call_makes_its_logind_requests(probe, logind, call, calls):
    add_sleep_with_flags(logind)
    assert probe.run(call) == 'ok'
    assert logind.calls() == calls


def test_privilege_steps_make_no_request(probe, logind):
    assert probe.run('privilege') == 'ok'
    assert logind.calls() == []


@pytest.mark.parametrize('call,plain_method', [('suspend-force', 'Suspend'),
                                                ('hibernate-force', 'Hibernate')])
def test_at_once_falls_back_when_logind_lacks_the_flags_method(probe, logind, call, plain_method):
    # The template has no SuspendWithFlags/HibernateWithFlags: the bus answers UnknownMethod.
    assert probe.run(call) == 'ok'
    assert logind.calls() == [(plain_method, [False])]


@pytest.mark.parametrize('error_name', ['org.freedesktop.DBus.Error.UnknownMethod',
                                        'org.freedesktop.DBus.Error.InvalidArgs'])
def test_at_once_falls_back_when_logind_rejects_the_flags(probe, logind, error_name):
    logind.raise_error('SuspendWithFlags', 't', error_name)
    assert probe.run('suspend-force') == 'ok'
    assert logind.calls() == [('SuspendWithFlags', [16]), ('Suspend', [False])]


@pytest.mark.parametrize('error_name,code', [('org.freedesktop.DBus.Error.AccessDenied', 1314),
                                             ('org.freedesktop.DBus.Error.NotSupported', 50),
                                             ('org.freedesktop.login1.OperationInProgress', 1115)])
def test_at_once_does_not_fall_back_on_a_refusal(probe, logind, error_name, code):
    logind.raise_error('HibernateWithFlags', 't', error_name)
    assert probe.run('hibernate-force') == f'error {code}'
    assert logind.calls() == [('HibernateWithFlags', [16])]


def test_fallback_reports_the_plain_call_failure(probe, logind):
    logind.raise_error('Suspend', 'b', 'org.freedesktop.login1.BlockedByInhibitorLock')
    assert probe.run('suspend-force') == 'error 1223'
    assert logind.method_calls('Suspend') == [[False]]


# D-Bus error of the logind method -> Windows code.
ERRORS = [
    ('poweroff', 'PowerOff', 'b', 'org.freedesktop.DBus.Error.AccessDenied', 1314),
    ('reboot', 'Reboot', 'b', 'org.freedesktop.DBus.Error.InteractiveAuthorizationRequired', 1314),
    ('suspend', 'Suspend', 'b', 'org.freedesktop.login1.BlockedByInhibitorLock', 1223),
    ('poweroff', 'PowerOff', 'b', 'org.freedesktop.login1.OperationInProgress', 1115),
    ('hibernate', 'Hibernate', 'b', 'org.freedesktop.login1.SleepVerbNotSupported', 50),
    ('hibernate', 'Hibernate', 'b', 'org.freedesktop.DBus.Error.NotSupported', 50),
    ('lock', 'LockSession', 's', 'org.freedesktop.login1.NoSuchSession', 1168),
    ('logoff', 'TerminateSession', 's', 'org.freedesktop.login1.NoSessionForPID', 1168),
    ('reboot', 'Reboot', 'b', 'org.freedesktop.DBus.Error.NoReply', 1460),
    ('lock', 'LockSession', 's', 'org.freedesktop.DBus.Error.Timeout', 1460),
    ('logoff', 'TerminateSession', 's', 'org.freedesktop.DBus.Error.Failed', 1359),
    ('poweroff', 'PowerOff', 'b', 'com.example.Unheard.Of', 1359),
    ('lock', 'LockSession', 's', 'org.freedesktop.DBus.Error.UnknownMethod', 50),
    ('reboot', 'Reboot', 'b', 'org.freedesktop.DBus.Error.UnknownObject', 50),
]


@pytest.mark.parametrize('call,method,sig,error_name,code', ERRORS)
def test_dbus_errors_become_windows_codes(probe, logind, call, method, sig, error_name, code):
    logind.raise_error(method, sig, error_name, message='refused: 100% sure')
    result = probe.run_raw(call)
    assert result.stdout.decode().strip() == f'error {code}'
    assert logind.method_calls(method) == [[False] if sig == 'b' else ['auto']]
    # One line on standard error names the call and the D-Bus error.
    assert result.stderr.decode() == f'power_probe: {method}: {error_name}: refused: 100% sure\n'


# Inhibitors as logind lists them (what, who, why, mode, uid, pid), the calls,
# and whether a block stands against each: sleep blocks the asking sleep
# calls, shutdown blocks power-off and reboot; delay inhibitors, other kinds
# and the at-once calls (which skip inhibitors) go ahead.
OTHER_PID = 4242
INHIBITOR_CASES = [
    ([('sleep', 'Backup', 'copying', 'block', 1000, OTHER_PID)],
     {'suspend': True, 'hibernate': True, 'poweroff': False, 'reboot': False,
      'suspend-force': False, 'hibernate-force': False, 'lock': False}),
    ([('shutdown:sleep:idle', 'Editor', 'unsaved', 'block', 0, OTHER_PID)],
     {'suspend': True, 'hibernate': True, 'poweroff': True, 'reboot': True, 'logoff': False}),
    ([('idle:handle-lid-switch:shutdown', 'Updater', 'installing', 'block', 0, OTHER_PID)],
     {'suspend': False, 'poweroff': True, 'reboot': True}),
    ([('sleep:shutdown', 'NetworkManager', 'disconnect', 'delay', 0, OTHER_PID)],
     {'suspend': False, 'hibernate': False, 'poweroff': False, 'reboot': False}),
    ([('sleeping:shutdowns', 'Odd', 'not a kind', 'block', 0, OTHER_PID),
      ('shutdown', 'Late', 'second in the list', 'delay', 0, OTHER_PID)],
     {'suspend': False, 'poweroff': False}),
]

CALL_METHOD = {'suspend': 'Suspend', 'hibernate': 'Hibernate', 'poweroff': 'PowerOff', 'reboot': 'Reboot',
               'suspend-force': 'SuspendWithFlags', 'hibernate-force': 'HibernateWithFlags',
               'lock': 'LockSession', 'logoff': 'TerminateSession'}


def list_inhibitors(logind, inhibitors):
    logind.add_method('ListInhibitors', '', f'ret = {inhibitors!r}', out_sig='a(ssssuu)')


@pytest.mark.parametrize('inhibitors,expected', INHIBITOR_CASES)
def test_block_inhibitors_refuse_the_asking_calls(probe, logind, inhibitors, expected):
    add_sleep_with_flags(logind)
    list_inhibitors(logind, inhibitors)
    for call, refused in expected.items():
        logind.clear_calls()
        result = probe.run_raw(call)
        outcome = result.stdout.decode().strip()
        made = [c[0] for c in logind.calls() if c[0] != 'ListInhibitors']
        if refused:
            assert (outcome, made) == ('error 1223', []), call
            who = inhibitors[0][1]
            assert result.stderr.decode().startswith(f'power_probe: {CALL_METHOD[call]}: inhibited by "{who}"'), call
        else:
            assert (outcome, made) == ('ok', [CALL_METHOD[call]]), call
            assert result.stderr == b'', call


def test_a_failed_inhibitor_list_does_not_stop_the_call(probe, logind):
    logind.raise_error('ListInhibitors', '', 'org.freedesktop.DBus.Error.AccessDenied')
    assert probe.run('poweroff') == 'ok'
    assert logind.method_calls('PowerOff') == [[False]]


@pytest.mark.parametrize('call', ['suspend-force', 'suspend', 'hibernate', 'lock', 'logoff', 'poweroff',
                                  'reboot'])
def test_bus_without_logind_gives_1062(probe, logind, call):
    logind.stop()
    assert probe.run(call) == 'error 1062'


def test_no_bus_gives_1062(probe, private_bus):
    missing = f'unix:path={private_bus.dir}/no-such-socket'
    assert probe.run('poweroff', DBUS_SYSTEM_BUS_ADDRESS=missing) == 'error 1062'
    assert probe.run('suspend', DBUS_SYSTEM_BUS_ADDRESS=missing) == 'error 1062'


# The wait for the resume.

def start_and_wait_for_request(probe, logind, call, method, bound_ms):
    started = time.monotonic()
    process = probe.start(call, bound_ms)
    assert wait_until(lambda: logind.method_calls(method) or process.poll() is not None), 'no request came'
    assert process.poll() is None, process.communicate()
    return process, started


def finish(process):
    out, err = process.communicate(timeout=20)
    assert (process.returncode, out.decode().strip()) == (0, 'ok'), err


def test_suspend_returns_only_after_prepare_for_sleep_false(probe, logind):
    bound_ms = 2000
    process, _ = start_and_wait_for_request(probe, logind, 'suspend', 'Suspend', bound_ms)
    logind.emit_prepare_for_sleep(True)
    # Asleep: the bound no longer applies.
    time.sleep(bound_ms / 1000 + 1.0)
    assert process.poll() is None, 'returned before PrepareForSleep(false)'
    logind.emit_prepare_for_sleep(False)
    finish(process)


def test_hibernate_at_once_returns_only_after_prepare_for_sleep_false(probe, logind):
    add_sleep_with_flags(logind)
    process, _ = start_and_wait_for_request(probe, logind, 'hibernate-force', 'HibernateWithFlags', 1000)
    logind.emit_prepare_for_sleep(True)
    time.sleep(2.0)
    assert process.poll() is None, 'returned before PrepareForSleep(false)'
    logind.emit_prepare_for_sleep(False)
    finish(process)


def test_signals_during_the_request_are_not_missed(probe, logind):
    # logind may announce the sleep before its reply arrives: the match must
    # be in place before the call, or the wait would last the whole bound.
    logind.add_method('Suspend', 'b',
                      f'self.EmitSignal({LOGIND_MANAGER!r}, "PrepareForSleep", "b", [True]); '
                      f'self.EmitSignal({LOGIND_MANAGER!r}, "PrepareForSleep", "b", [False])')
    started = time.monotonic()
    assert probe.run('suspend', bound_ms=20000) == 'ok'
    assert time.monotonic() - started < 10
    assert logind.method_calls('Suspend') == [[False]]


def test_without_any_signal_the_wait_ends_at_the_bound(probe, logind):
    started = time.monotonic()
    assert probe.run('suspend', bound_ms=700) == 'ok'
    elapsed = time.monotonic() - started
    assert 0.7 <= elapsed < 10
    assert logind.method_calls('Suspend') == [[False]]


def test_prepare_for_sleep_from_another_sender_is_ignored(probe, logind, private_bus):
    bound_ms = 1500
    process, started = start_and_wait_for_request(probe, logind, 'suspend', 'Suspend', bound_ms)
    private_bus.emit_signal(LOGIND_PATH, LOGIND_MANAGER, 'PrepareForSleep', 'b', True)
    private_bus.emit_signal(LOGIND_PATH, LOGIND_MANAGER, 'PrepareForSleep', 'b', False)
    finish(process)
    assert time.monotonic() - started >= bound_ms / 1000


def test_logind_leaving_the_bus_ends_the_wait(probe, logind):
    process, _ = start_and_wait_for_request(probe, logind, 'suspend', 'Suspend', 1000)
    logind.emit_prepare_for_sleep(True)
    time.sleep(1.5)
    assert process.poll() is None
    logind.stop()
    finish(process)


def test_failed_suspend_does_not_wait(probe, logind):
    logind.raise_error('Suspend', 'b', 'org.freedesktop.DBus.Error.AccessDenied')
    started = time.monotonic()
    assert probe.run('suspend', bound_ms=20000) == 'error 1314'
    assert time.monotonic() - started < 10


# libsystemd that cannot be used: every request fails with 1062 and names the
# cause. The loader finds the stand-in through LD_LIBRARY_PATH.

STUB_SOURCE = 'int sd_bus_open_system(void **bus) { *bus = 0; return -1; }\n'
STUB_VERSIONS = 'LIBSYSTEMD_221 { global: sd_bus_open_system; local: *; };\n'


def build_stub(directory, versions):
    compiler = shutil.which('cc') or shutil.which('gcc')
    if compiler is None:
        pytest.fail('no C compiler for the stand-in libsystemd')
    (directory / 'stub.c').write_text(STUB_SOURCE)
    (directory / 'stub.map').write_text(versions)
    subprocess.run([compiler, '-shared', '-fPIC', '-o', str(directory / 'libsystemd.so.0'),
                    f'-Wl,--version-script={directory / "stub.map"}', str(directory / 'stub.c')], check=True)


@pytest.mark.parametrize('library,cause', [
    ('empty', 'cannot use libsystemd: '),  # the loader's own message follows
    ('missing-functions', 'cannot use libsystemd: libsystemd.so.0 has no sd_bus_flush (LIBSYSTEMD_221)'),
    ('later-version', 'cannot use libsystemd: libsystemd.so.0 has no sd_bus_open_system (LIBSYSTEMD_221)'),
])
def test_unusable_libsystemd_gives_1062_with_its_cause(probe, logind, tmp_path, library, cause):
    if library == 'empty':
        (tmp_path / 'libsystemd.so.0').write_bytes(b'')
    else:
        build_stub(tmp_path, STUB_VERSIONS if library == 'missing-functions' else
                   STUB_VERSIONS.replace('221', '247'))
    for call in ('lock', 'suspend-force', 'poweroff'):
        result = probe.run_raw(call, LD_LIBRARY_PATH=str(tmp_path))
        assert result.stdout.decode().strip() == 'error 1062'
        assert result.returncode == 1062 & 0xFF
        lines = result.stderr.decode().splitlines()
        assert len(lines) == 1 and lines[0].startswith(f'power_probe: {cause}'), lines
        if library == 'empty':
            assert 'libsystemd.so.0' in lines[0]
    assert logind.calls() == []
