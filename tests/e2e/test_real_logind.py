"""yxtk against Debian's real systemd-logind on the private bus (as root where
/lib/systemd/systemd-logind exists; skipped otherwise). logind runs in a mount
namespace of its own in which tmpfs covers /run/systemd, /run/dbus and
/sys/power (a fake "state"), so it reaches neither the machine's service
manager nor its bus nor its power state; python-dbusmock stands in for the
systemd manager and finishes the jobs of the power targets only when the test
says so.
"""

import contextlib
import os
import pathlib
import shutil
import subprocess
import time

import dbus
import pytest

from conftest import (LOGIND_MANAGER, LOGIND_NAME, LOGIND_PATH, MOCK_IFACE, BusRunner, end, start_dbusmock,
                      wait_until)

LOGIND = pathlib.Path('/lib/systemd/systemd-logind')
SYSTEMD_NAME = 'org.freedesktop.systemd1'
SYSTEMD_PATH = '/org/freedesktop/systemd1'
SYSTEMD_MANAGER = 'org.freedesktop.systemd1.Manager'
CGROUP_ROOT = pathlib.Path('/sys/fs/cgroup/unified')
FAKE_POWER_STATE = 'freeze mem disk'

SUCCESS_EN = 'The operation completed successfully.'
ENGLISH = {'LC_ALL': 'en_US.UTF-8', 'LANG': 'en_US.UTF-8'}


def skip_reason():
    if os.geteuid() != 0:
        return 'the real logind needs root (run the tests as root)'
    if not LOGIND.is_file():
        return f'{LOGIND} is not installed (the systemd package)'
    if shutil.which('unshare') is None:
        return 'unshare is not installed'
    probe = subprocess.run(['unshare', '-m', '--propagation', 'private', 'true'], capture_output=True, text=True,
                           check=False)
    if probe.returncode != 0:
        return f'no private mount namespace: {probe.stderr.strip()}'
    return None


SKIP = skip_reason()
pytestmark = pytest.mark.skipif(SKIP is not None, reason=SKIP or '')

# The stand-in systemd manager. Jobs of the power targets stay pending until
# FinishJobs; every other job is done at once (JobRemoved before the reply,
# which sd-bus delivers to logind after the reply, as systemd orders them).
POWER_TARGETS = ('suspend.target', 'hibernate.target', 'hybrid-sleep.target', 'suspend-then-hibernate.target',
                 'poweroff.target', 'reboot.target', 'halt.target', 'kexec.target')
START_JOB = '''
self.job_count = getattr(self, 'job_count', 0) + 1
job = dbus.ObjectPath('/org/freedesktop/systemd1/job/%d' % self.job_count)
if args[0].endswith('.target'):
    self.pending_jobs = getattr(self, 'pending_jobs', []) + [(self.job_count, job, args[0])]
else:
    self.EmitSignal('org.freedesktop.systemd1.Manager', 'JobRemoved', 'uoss',
                    [dbus.UInt32(self.job_count), job, args[0], 'done'])
ret = job
'''
FINISH_JOBS = '''
for number, job, unit in getattr(self, 'pending_jobs', []):
    self.EmitSignal('org.freedesktop.systemd1.Manager', 'JobRemoved', 'uoss',
                    [dbus.UInt32(number), job, unit, 'done'])
self.pending_jobs = []
'''


class ManagerStub:
    """python-dbusmock as org.freedesktop.systemd1 on the private bus."""

    def __init__(self, bus):
        self.bus = bus
        self.process = start_dbusmock(bus, SYSTEMD_NAME, SYSTEMD_NAME, SYSTEMD_PATH, SYSTEMD_MANAGER)
        self.mock = dbus.Interface(bus.connection.get_object(SYSTEMD_NAME, SYSTEMD_PATH), MOCK_IFACE)
        for name, in_sig, out_sig, code in [
                ('StartUnit', 'ss', 'o', START_JOB),
                ('StopUnit', 'ss', 'o', START_JOB),
                ('StartTransientUnit', 'ssa(sv)a(sa(sv))', 'o', START_JOB),
                ('KillUnit', 'ssi', '', ''),
                ('Subscribe', '', '', ''),
                ('FinishJobs', '', '', FINISH_JOBS)]:
            self.mock.AddMethod(SYSTEMD_MANAGER, name, in_sig, out_sig, code)
        # logind asks whether a target is loaded before starting it.
        for target in POWER_TARGETS:
            path = SYSTEMD_PATH + '/unit/' + target.replace('.', '_2e').replace('-', '_2d')
            self.mock.AddObject(path, 'org.freedesktop.systemd1.Unit',
                                {'Id': target, 'LoadState': 'loaded', 'ActiveState': 'inactive'}, [])

    def units(self, method):
        """The units of every call of StartUnit or StopUnit so far, in order."""
        return [(str(args[0]), str(args[1])) for _, args in self.mock.GetMethodCalls(method)]

    def finish_jobs(self):
        dbus.Interface(self.bus.connection.get_object(SYSTEMD_NAME, SYSTEMD_PATH), SYSTEMD_MANAGER).FinishJobs()


# Run inside the new mount namespace before logind: cover everything that
# leads out of the test, then prove it, then start logind on the private bus
# alone. Exit status 97 means a check failed and logind never ran.
NAMESPACE_SCRIPT = r'''
set -e
mount --make-rprivate /
mount -t tmpfs yx-run-systemd /run/systemd
mkdir -p /run/dbus && mount -t tmpfs yx-run-dbus /run/dbus
mount -t tmpfs yx-run-user /run/user 2>/dev/null || { mkdir -p /run/user && mount -t tmpfs yx-run-user /run/user; }
mount -t tmpfs yx-sys-power /sys/power
printf '%s\n' "$YX_FAKE_STATE" > /sys/power/state
printf '[platform] shutdown reboot suspend\n' > /sys/power/disk
printf '[s2idle] deep\n' > /sys/power/mem_sleep
set +e
fail() { echo "refusing to start logind: $*" >&2; exit 97; }
[ -e /run/dbus/system_bus_socket ] && fail 'the system bus socket is reachable'
[ -e /run/systemd/private ] && fail 'the service manager socket is reachable'
[ "$(cat /sys/power/state)" = "$YX_FAKE_STATE" ] || fail '/sys/power/state is not the fake'
[ "$(stat -c %i /sys/power/state)" != "$YX_HOST_STATE_INODE" ] || fail '/sys/power/state is the real one'
case "$DBUS_SYSTEM_BUS_ADDRESS" in
  "unix:path=$YX_BUS_DIR/"*) ;;
  *) fail "DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SYSTEM_BUS_ADDRESS is not the private bus" ;;
esac
echo ready >&2
exec "$YX_LOGIND"
'''


class RealLogind:
    """systemd-logind in a mount namespace of its own, on the private bus."""

    def __init__(self, bus, manager):
        self.bus = bus
        self.log_path = bus.dir / 'logind.log'
        # Nothing may start before the manager is known to be the stub (the
        # bus is private by construction).
        owner_pid = bus.connection.call_blocking('org.freedesktop.DBus', '/org/freedesktop/DBus',
                                                 'org.freedesktop.DBus', 'GetConnectionUnixProcessID', 's',
                                                 [SYSTEMD_NAME])
        if int(owner_pid) != manager.process.pid:
            pytest.fail('refusing to start logind: org.freedesktop.systemd1 is not the stub')
        if bus.connection.name_has_owner(LOGIND_NAME):
            pytest.fail('refusing to start logind: the private bus already has a logind')
        state_inode = os.stat('/sys/power/state').st_ino if os.path.exists('/sys/power/state') else 0
        env = {
            'PATH': os.environ.get('PATH', '/usr/sbin:/usr/bin:/sbin:/bin'),
            'DBUS_SYSTEM_BUS_ADDRESS': bus.address,
            'SYSTEMD_LOG_LEVEL': 'debug',
            'SYSTEMD_LOG_TARGET': 'console',
            'SYSTEMD_BYPASS_HIBERNATION_MEMORY_CHECK': '1',
            'YX_FAKE_STATE': FAKE_POWER_STATE,
            'YX_HOST_STATE_INODE': str(state_inode),
            'YX_BUS_DIR': str(bus.dir),
            'YX_LOGIND': str(LOGIND),
        }
        with open(self.log_path, 'wb') as log:
            self.process = subprocess.Popen(['unshare', '-m', '--propagation', 'private', 'sh', '-c',
                                             NAMESPACE_SCRIPT], env=env, stdout=log, stderr=subprocess.STDOUT,
                                            stdin=subprocess.DEVNULL)
        started = wait_until(lambda: self.process.poll() is not None or bus.connection.name_has_owner(LOGIND_NAME),
                             timeout=20)
        if not started or self.process.poll() is not None:
            end(self.process)
            pytest.fail(f'logind did not start:\n{self.log()}')
        self.manager = dbus.Interface(bus.connection.get_object(LOGIND_NAME, LOGIND_PATH), LOGIND_MANAGER)

    def log(self):
        return self.log_path.read_text(errors='replace')


class Session:
    """A logind session of root for the test, led by a sleeping process, with
    the cgroup its scope would have so that logind finds its processes."""

    def __init__(self, logind):
        self.leader = subprocess.Popen(['sleep', '600'], stdin=subprocess.DEVNULL)
        reply = logind.manager.CreateSession(
            dbus.UInt32(0), dbus.UInt32(self.leader.pid), 'yxtk-test', 'tty', 'user', '', '', dbus.UInt32(0), '',
            '', False, '', '', dbus.Array([], signature='(sv)'), timeout=30)
        self.id = str(reply[0])
        self.path = str(reply[1])
        # The fifo keeps the session alive while the test holds it.
        self.fifo = reply[3].take()
        self.cgroup = CGROUP_ROOT / 'user.slice' / 'user-0.slice' / f'session-{self.id}.scope'
        self.cgroup.mkdir(parents=True, exist_ok=True)

    def command(self, *args):
        """The command line that runs args inside the session's cgroup."""
        return ['sh', '-c', 'echo $$ > "$0/cgroup.procs" && exec "$@"', str(self.cgroup), *args]

    def close(self):
        os.close(self.fifo)
        self.leader.kill()
        self.leader.wait()
        # The commands run in the session have ended: its cgroup is empty.
        for directory in (self.cgroup, self.cgroup.parent, self.cgroup.parent.parent):
            with contextlib.suppress(OSError):
                directory.rmdir()


@pytest.fixture(scope='module')
def real_logind(private_bus):
    manager = ManagerStub(private_bus)
    try:
        logind = RealLogind(private_bus, manager)
        try:
            yield logind, manager
        finally:
            end(logind.process)
    finally:
        end(manager.process)


@pytest.fixture
def world(real_logind):
    logind, manager = real_logind
    manager.finish_jobs()
    manager.mock.ClearCalls()
    return logind, manager


@pytest.fixture
def yxtk(binary, private_bus):
    return BusRunner(binary('yxtk'), private_bus, YX_SLEEP_SIGNAL_TIMEOUT_MS=3000, **ENGLISH)


def run_pending(yxtk, manager, mode, target):
    """Runs a mode whose job the stub keeps pending: the command must still
    wait (asleep) until the job is done and logind says the sleep is over."""
    with yxtk.start(mode) as process:
        assert wait_until(lambda: manager.units('StartUnit') or process.poll() is not None, timeout=20)
        assert manager.units('StartUnit') == [(target, 'replace-irreversibly')], process.communicate(timeout=5)
        time.sleep(0.5)
        still_waiting = process.poll() is None
        manager.finish_jobs()
        out, err = process.communicate(timeout=30)
    return still_waiting, process.returncode, out.decode(), err.decode()


@pytest.mark.parametrize('mode,target', [('-sq', 'suspend.target'), ('-h', 'hibernate.target')])
def test_sleep_modes_return_after_the_resume(world, yxtk, mode, target):
    _, manager = world
    still_waiting, code, out, err = run_pending(yxtk, manager, mode, target)
    assert still_waiting, 'returned before PrepareForSleep(false)'
    assert (code, out.split('\n', 1)[1], err) == (0, SUCCESS_EN, '')


def test_a_shutdown_mode_starts_its_target_and_then_every_request_is_in_progress(world, yxtk):
    _, manager = world
    code, out, err = yxtk.run('-r')
    assert (code, out.split('\n', 1)[1], err) == (0, SUCCESS_EN, '')
    for mode in ('-sd', '-s', '-hq'):
        code, _, err = yxtk.run(mode)
        assert code == 1115 & 0xFF, (mode, err)
        assert 'org.freedesktop.login1.OperationInProgress' in err
    assert manager.units('StartUnit') == [('reboot.target', 'replace-irreversibly')]


def test_block_inhibitors_refuse_the_asking_modes(world, yxtk):
    logind, manager = world
    holder = logind.manager.Inhibit('sleep:shutdown', 'yxtk-test', 'holding on', 'block').take()
    try:
        for mode, method in (('-sq', 'Suspend'), ('-sd', 'PowerOff')):
            code, _, err = yxtk.run(mode)
            assert code == 1223 & 0xFF, (mode, err)
            assert err == (f'yxtk: {method}: inhibited by "yxtk-test" (PID {os.getpid()}, user 0), '
                           f'reason is "holding on"\n')
        assert manager.units('StartUnit') == []
        # The at-once modes skip inhibitors: logind 252 rejects the flag,
        # the plain call follows, and root may override the block.
        still_waiting, code, _, err = run_pending(yxtk, manager, '-s', 'suspend.target')
        assert (still_waiting, code, err) == (True, 0, '')
    finally:
        os.close(holder)


def lock_signals(logind, session):
    """How many Lock signals logind's debug log says it has sent to the session."""
    return sum(1 for line in logind.log().splitlines()
               if line.startswith('Sent message type=signal') and f'path={session.path} ' in line and
               'member=Lock ' in line)


def test_lock_and_logoff_inside_and_outside_a_session(world, yxtk):
    logind, manager = world
    session = Session(logind)
    try:
        # "auto" is the session of the caller's cgroup: outside every
        # session there is none.
        for mode, method in (('-l', 'LockSession'), ('-lo', 'TerminateSession')):
            code, out, err = yxtk.run(mode)
            assert (code, out.split('\n', 1)[1]) == (1168 & 0xFF, 'Element not found.'), (mode, err)
            assert err.startswith(f'yxtk: {method}: org.freedesktop.login1.NoSessionForPID: '), err
        assert lock_signals(logind, session) == 0
        for mode in ('-l', '-lo'):
            result = subprocess.run(session.command(str(yxtk.path), mode), env=yxtk.env(), capture_output=True,
                                    check=False)
            assert (result.returncode, result.stdout.decode().split('\n', 1)[1], result.stderr.decode()) == (
                0, SUCCESS_EN, ''), mode
        assert wait_until(lambda: lock_signals(logind, session) == 1)
        assert [unit for unit, _ in manager.units('StopUnit')] == [f'session-{session.id}.scope']
    finally:
        session.close()
