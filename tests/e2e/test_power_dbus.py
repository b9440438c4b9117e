"""The Linux power services against a mock logind on a private system bus:
which logind method each call makes with which arguments, the fallback of
the at-once sleep calls for an older logind, the D-Bus errors as Windows
codes, and the wait for the resume after suspend and hibernation.

The calls run in tests/tools/power_probe, which prints "ok" or "error <code>".
"""

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
        result = super().run(call, timeout=timeout, YX_SLEEP_SIGNAL_TIMEOUT_MS=bound_ms, **extra)
        outcome = result.stdout.decode().strip()
        expected_status = 0 if outcome == 'ok' else int(outcome.split()[1]) & 0xFF
        assert result.returncode == expected_status, (result.returncode, result.stdout, result.stderr)
        return outcome

    def start(self, call, bound_ms):  # pylint: disable=arguments-differ
        return super().start(call, YX_SLEEP_SIGNAL_TIMEOUT_MS=bound_ms)


@pytest.fixture
def probe(binary, private_bus):
    return Probe(binary('power_probe'), private_bus)


def add_sleep_with_flags(logind):
    """The methods of a logind new enough for SD_LOGIND_SKIP_INHIBITORS."""
    logind.add_method('SuspendWithFlags', 't')
    logind.add_method('HibernateWithFlags', 't')


# Every call, the one logind method it must make, and that method's arguments.
CALLS = [
    ('suspend-force', 'SuspendWithFlags', [16]),
    ('hibernate-force', 'HibernateWithFlags', [16]),
    ('suspend', 'Suspend', [False]),
    ('hibernate', 'Hibernate', [False]),
    ('lock', 'LockSession', ['auto']),
    ('logoff', 'TerminateSession', ['auto']),
    ('poweroff', 'PowerOff', [False]),
    ('reboot', 'Reboot', [False]),
]


@pytest.mark.parametrize('call,method,args', CALLS)
def test_each_call_makes_one_logind_request(probe, logind, call, method, args):
    add_sleep_with_flags(logind)
    assert probe.run(call) == 'ok'
    assert logind.calls() == [(method, args)]


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
                                        'org.freedesktop.DBus.Error.InvalidArgs',
                                        'org.freedesktop.DBus.Error.NotSupported'])
def test_at_once_falls_back_when_logind_rejects_the_flags(probe, logind, error_name):
    logind.raise_error('SuspendWithFlags', 't', error_name)
    assert probe.run('suspend-force') == 'ok'
    assert logind.calls() == [('SuspendWithFlags', [16]), ('Suspend', [False])]


def test_at_once_does_not_fall_back_on_a_refusal(probe, logind):
    logind.raise_error('HibernateWithFlags', 't', 'org.freedesktop.DBus.Error.AccessDenied')
    assert probe.run('hibernate-force') == 'error 1314'
    assert logind.calls() == [('HibernateWithFlags', [16])]


def test_fallback_reports_the_plain_call_failure(probe, logind):
    logind.raise_error('Suspend', 'b', 'org.freedesktop.login1.BlockedByInhibitorLock')
    assert probe.run('suspend-force') == 'error 1223'
    assert logind.calls() == [('Suspend', [False])]


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
]


@pytest.mark.parametrize('call,method,sig,error_name,code', ERRORS)
def test_dbus_errors_become_windows_codes(probe, logind, call, method, sig, error_name, code):
    logind.raise_error(method, sig, error_name)
    assert probe.run(call) == f'error {code}'
    assert logind.method_calls(method) == [[False] if sig == 'b' else ['auto']]


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
    assert logind.calls() == [('Suspend', [False])]


def test_without_any_signal_the_wait_ends_at_the_bound(probe, logind):
    started = time.monotonic()
    assert probe.run('suspend', bound_ms=700) == 'ok'
    elapsed = time.monotonic() - started
    assert 0.7 <= elapsed < 10
    assert logind.calls() == [('Suspend', [False])]


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
