"""Fixtures of the end-to-end tests: a private system bus, a mock logind on it
(python-dbusmock's logind template), and the paths of the built programs.

Nothing here may reach the machine's own system bus: the session starts its
own dbus-daemon and points DBUS_SYSTEM_BUS_ADDRESS at it, and every program is
started through `PrivateBus.env`, which refuses any bus address outside the
private bus's directory.

Run with: YX_BUILD_DIR=<build dir> /usr/bin/python3 -m pytest -q tests/e2e
"""

import contextlib
import os
import pathlib
import shutil
import subprocess
import tempfile
import time

import dbus
import pytest

REPO_ROOT = pathlib.Path(__file__).resolve().parents[2]
PYTHON = '/usr/bin/python3'

LOGIND_NAME = 'org.freedesktop.login1'
LOGIND_PATH = '/org/freedesktop/login1'
LOGIND_MANAGER = 'org.freedesktop.login1.Manager'
MOCK_IFACE = 'org.freedesktop.DBus.Mock'

# A system bus as far as clients can tell, but one that lets anyone own any
# name and send anything, so that the mock can stand in for logind.
BUS_CONFIG = (pathlib.Path(__file__).parent / 'system_bus.conf').read_text()


def wait_until(predicate, timeout=30.0, interval=0.02):
    """Polls predicate until it is true; returns its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def end(process, timeout=10):
    """Terminates process unless it has ended, and kills it if it lingers."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class PrivateBus:
    """A dbus-daemon of this test session, configured like a system bus."""

    def __init__(self):
        # Short path: a unix socket path must stay under 108 bytes.
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix='yxbus-'))
        config = self.dir / 'system.conf'
        config.write_text(BUS_CONFIG.format(socket=self.dir / 'system_bus_socket'))
        self.daemon = subprocess.Popen(
            ['dbus-daemon', f'--config-file={config}', '--nofork', '--print-address=1'],
            stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
        self.address = self.daemon.stdout.readline().strip()
        if not self.address.startswith(f'unix:path={self.dir}/'):
            self.close()
            raise RuntimeError(f'dbus-daemon gave an unexpected address {self.address!r}')
        self.connection = dbus.bus.BusConnection(self.address)

    def env(self, **extra):
        """The environment of a program under test: the private bus, plus extra.
        Fails the test when the system bus address would lead elsewhere, so that
        no mistake can send a power request to the machine's own logind."""
        env = dict(os.environ)
        env['DBUS_SYSTEM_BUS_ADDRESS'] = self.address
        env.update({k: str(v) for k, v in extra.items()})
        if not env['DBUS_SYSTEM_BUS_ADDRESS'].startswith(f'unix:path={self.dir}/'):
            pytest.fail('refusing to run: DBUS_SYSTEM_BUS_ADDRESS is not the private test bus')
        return env

    def close(self):
        end(self.daemon)
        self.daemon.stdout.close()
        shutil.rmtree(self.dir, ignore_errors=True)


def start_dbusmock(bus, name, *args):
    """python-dbusmock on the private bus (args follow --system), once it owns name."""
    log_path = bus.dir / f'dbusmock-{time.monotonic_ns()}.log'
    with open(log_path, 'wb') as log:
        process = subprocess.Popen([PYTHON, '-m', 'dbusmock', '--system', *args], env=bus.env(), stdout=log,
                                   stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    if not wait_until(lambda: process.poll() is not None or bus.connection.name_has_owner(name),
                      timeout=60) or process.poll() is not None:
        end(process)
        raise RuntimeError(f'the mock of {name} did not start:\n{log_path.read_text()}')
    return process


class LogindMock:
    """python-dbusmock's logind template, running as a process on the private bus."""

    def __init__(self, bus):
        self.bus = bus
        self.process = start_dbusmock(bus, LOGIND_NAME, '--template', 'logind')
        self.mock = dbus.Interface(bus.connection.get_object(LOGIND_NAME, LOGIND_PATH), MOCK_IFACE)

    def calls(self):
        """Every call of a mocked method so far, as [(method, [args...])]."""
        return [(str(method), list(args)) for _, method, args in self.mock.GetCalls()]

    def method_calls(self, method):
        """The argument lists of every call of one method so far."""
        return [list(args) for _, args in self.mock.GetMethodCalls(method)]

    def clear_calls(self):
        self.mock.ClearCalls()

    def add_method(self, name, in_sig, code='', out_sig=''):
        """Adds a method to the manager, or replaces one; code is run by the mock."""
        self.mock.AddMethod(LOGIND_MANAGER, name, in_sig, out_sig, code)

    def raise_error(self, name, in_sig, error_name, message='refused by the test'):
        """Makes the manager's method `name` answer with the D-Bus error `error_name`."""
        self.add_method(name, in_sig,
                        f'raise dbus.exceptions.DBusException({message!r}, name={error_name!r})')

    def emit_prepare_for_sleep(self, start):
        """logind's PrepareForSleep(start), sent by the mock as logind."""
        self.mock.EmitSignal(LOGIND_MANAGER, 'PrepareForSleep', 'b', [dbus.Boolean(start)])

    def stop(self):
        """Ends the mock; afterwards the bus has no logind."""
        end(self.process)
        wait_until(lambda: not self.bus.connection.name_has_owner(LOGIND_NAME))


class BusRunner:
    """Runs one built program with the private bus as its system bus and the
    variables env gives every run (each call may add or override some)."""

    def __init__(self, path, bus, **env):
        self.path = path
        self.bus = bus
        self.base_env = {k: str(v) for k, v in env.items()}

    def env(self, **extra):
        return self.bus.env(**{**self.base_env, **extra})

    def run(self, *args, **extra):
        """Runs the program to its end: exit status, standard output and error as text."""
        result = self.run_raw(*args, **extra)
        return result.returncode, result.stdout.decode('utf-8'), result.stderr.decode('utf-8')

    def run_raw(self, *args, path=None, timeout=60, **extra):
        """Runs the program to its end; returns the CompletedProcess (bytes)."""
        return subprocess.run([str(path or self.path), *args], env=self.env(**extra), capture_output=True,
                              stdin=subprocess.DEVNULL, timeout=timeout, check=False)

    @contextlib.contextmanager
    def start(self, *args, path=None, **extra):
        """The program started with its output piped (its Popen), ended if
        the block leaves it running."""
        process = subprocess.Popen([str(path or self.path), *args], env=self.env(**extra), stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
        try:
            yield process
        finally:
            end(process)


@pytest.fixture(scope='session')
def private_bus():
    """The session's private system bus; DBUS_SYSTEM_BUS_ADDRESS points at it meanwhile."""
    if shutil.which('dbus-daemon') is None:
        pytest.fail('dbus-daemon is not installed')
    bus = PrivateBus()
    try:
        with pytest.MonkeyPatch.context() as patch:
            patch.setenv('DBUS_SYSTEM_BUS_ADDRESS', bus.address)
            yield bus
    finally:
        bus.close()


@pytest.fixture(scope='module')
def logind_process(private_bus):  # pylint: disable=redefined-outer-name
    """The module's logind mock, (re)started by the logind fixture when there is none."""
    holder = {}
    yield holder
    if 'mock' in holder:
        holder['mock'].stop()


@pytest.fixture
def logind(private_bus, logind_process):  # pylint: disable=redefined-outer-name
    """A logind mock as its template makes it, with no calls recorded."""
    mock = logind_process.get('mock')
    if mock is None or mock.process.poll() is not None:
        mock = logind_process['mock'] = LogindMock(private_bus)
    else:
        mock.mock.Reset()
        mock.clear_calls()
    return mock


@pytest.fixture(scope='session')
def win32_build():
    """The Windows build tree named by $YX_WIN32_BUILD_DIR; skips without one."""
    directory = os.environ.get('YX_WIN32_BUILD_DIR')
    if not directory:
        pytest.skip('YX_WIN32_BUILD_DIR is not set')
    return pathlib.Path(directory).resolve()


def wine_command(program, *args):
    """The command line that runs a Windows program in the Windows build's Wine prefix."""
    return [str(REPO_ROOT / 'cmake' / 'wine-run.sh'), os.environ['YX_WIN32_WINEPREFIX'], str(program), *args]


@pytest.fixture(scope='session')
def build_dir():
    """The build tree under test: $YX_BUILD_DIR, or build/linux in the repository."""
    return pathlib.Path(os.environ.get('YX_BUILD_DIR', REPO_ROOT / 'build' / 'linux')).resolve()


@pytest.fixture(scope='session')
def binary(build_dir):  # pylint: disable=redefined-outer-name
    """binary(name): the path of a built program of the build tree."""
    def find(name):
        for directory in ('', 'app', 'tests', 'tests/tools'):
            path = build_dir / directory / name
            if path.is_file() and os.access(path, os.X_OK):
                return path
        pytest.fail(f'{name} is not built in {build_dir} (set YX_BUILD_DIR)')
        return None
    return find
