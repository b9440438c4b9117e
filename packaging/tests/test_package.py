"""The Linux package as a distribution takes it: the .deb that CPack builds
from this build tree, checked by lintian and by what Debian asks beyond it,
its bash completion used as bash uses it, and the sample settings file of
the Windows package read by the real yxtk.

Run with: YX_BUILD_DIR=<linux build dir> YX_CPACK=<cpack> /usr/bin/python3 -m pytest -q packaging/tests
"""

import os
import pathlib
import re
import shutil
import subprocess

import pytest

BUILD = pathlib.Path(os.environ.get('YX_BUILD_DIR', 'build/linux')).resolve()
CPACK = os.environ.get('YX_CPACK', 'cpack')
PACKAGING = pathlib.Path(__file__).resolve().parents[1]

MODES = ['-?', '-s', '-sq', '-h', '-hq', '-l', '-lo', '-sd', '-r']
# What the package installs, every file (directories aside).
FILES = {
    'usr/bin/yxtk',
    'usr/share/man/man1/yxtk.1.gz',
    'usr/share/doc/yxtk/copyright',
    'usr/share/doc/yxtk/changelog.gz',
    'usr/share/bash-completion/completions/yxtk',
}


def run(*args, **kwargs):
    return subprocess.run([str(a) for a in args], check=True, capture_output=True, text=True, **kwargs).stdout


@pytest.fixture(scope='module')
def deb(tmp_path_factory):
    out = tmp_path_factory.mktemp('deb')
    run(CPACK, '-G', 'DEB', '--config', BUILD / 'CPackConfig.cmake', '-B', out)
    debs = list(out.glob('*.deb'))
    assert [d.name for d in debs] == ['yxtk_1.0_amd64.deb']
    return debs[0]


@pytest.fixture(scope='module')
def tree(deb, tmp_path_factory):
    root = tmp_path_factory.mktemp('root')
    run('dpkg-deb', '-x', deb, root)
    return root


def test_lintian_reports_no_error_warning_or_hardening_gap(deb):
    # Hardening gaps are only informational tags for lintian; here they fail.
    result = subprocess.run(['lintian', '--display-info', '--fail-on', 'error,warning', str(deb)],
                            capture_output=True, text=True)
    tags = [line for line in result.stdout.splitlines() if line[:2] in ('E:', 'W:') or 'hardening-' in line]
    assert result.returncode == 0 and tags == [], result.stdout + result.stderr


def test_control_fields(deb, tree):
    def field(name):
        return run('dpkg-deb', '-f', deb, name).strip()

    assert field('Package') == 'yxtk'
    assert field('Section') == 'utils'
    assert field('Priority') == 'optional'
    depends = [d.strip() for d in field('Depends').split(',')]
    # libsystemd is loaded with dlopen, which the shared-library scan misses.
    assert 'libsystemd0 (>= 221)' in depends
    # The C library from the scan, at the newest symbol version the binary uses.
    symbols = run('objdump', '-T', tree / 'usr/bin/yxtk')
    newest = max(re.findall(r'GLIBC_(\d+\.\d+)', symbols), key=lambda v: tuple(map(int, v.split('.'))))
    assert f'libc6 (>= {newest})' in depends, depends


def test_files_and_binary(tree):
    files = {str(p.relative_to(tree)) for p in tree.rglob('*') if not p.is_dir()}
    assert files == FILES
    binary = tree / 'usr/bin/yxtk'
    assert os.access(binary, os.X_OK)
    sections = run('readelf', '-SW', binary)
    assert '.symtab' not in sections and '.debug_' not in sections, 'not stripped'
    dynamic = run('readelf', '-dW', binary)
    assert re.search(r'FLAGS_1\).*\bNOW\b.*\bPIE\b', dynamic), dynamic
    assert 'GNU_RELRO' in run('readelf', '-lW', binary)
    imports = run('readelf', '--dyn-syms', '-W', binary)
    assert '__stack_chk_fail' in imports
    assert re.search(r'\b__\w+_chk\b', imports.replace('__stack_chk_fail', '')), 'no checked functions'


def complete(completion, words, cwd=None):
    """The completions bash offers for the words after yxtk (the last one
    being completed), as bash would insert them."""
    script = ('source "$1"; shift; COMP_WORDS=(yxtk "$@"); COMP_CWORD=$(($# ));'
              '_yxtk; printf "%s\\n" "${COMPREPLY[@]}"')
    out = run('bash', '-c', script, 'bash', completion, *words, cwd=cwd)
    return [line for line in out.splitlines() if line]


@pytest.mark.parametrize('typed,offered', [
    ('', MODES),
    ('-', MODES),
    ("'-", MODES),
    ('-s', ['-s', '-sq', '-sd']),
    ('-H', ['-h', '-hq']),
    ('-l', ['-l', '-lo']),
    ('-r', ['-r']),
    ('-?', ['-?']),
    ('-\\?', ['-?']),
    ('-x', []),
    ('s', []),
])
def test_completion_offers_the_modes(tree, typed, offered):
    completion = tree / 'usr/share/bash-completion/completions/yxtk'
    replies = complete(completion, [typed])
    # '-?' is the one mode that needs quotes on a command line.
    assert [r.strip("'") for r in replies] == offered
    assert all(r == "'-?'" for r in replies if '?' in r)
    assert complete(completion, ['-s', typed]) == [], 'yxtk takes one argument'


def test_completed_help_mode_stays_help_where_files_named_like_modes_exist(tree, tmp_path):
    # In a directory holding the files -h and -s, an unquoted -? would be
    # expanded by the shell to them, and yxtk -h hibernates.
    for name in ('-h', '-s'):
        (tmp_path / name).touch()
    completion = tree / 'usr/share/bash-completion/completions/yxtk'
    for reply in complete(completion, ['-'], cwd=tmp_path):
        words = run('bash', '-c', f'printf "%s\\n" {reply}', cwd=tmp_path).splitlines()
        assert len(words) == 1 and words[0] in MODES, (reply, words)
    assert 'complete -F _yxtk yxtk' in run('bash', '-c', 'source "$1"; complete -p yxtk', 'bash', completion)


# The keys the logger reads from the sections of its settings file.
SETTINGS_KEYS = {'Prms': {'TmFrmt', 'PID', 'TID', 'StrtMd', 'FlshSec', 'FlshLns', 'PrmsRd'}}


def test_sample_settings_file_turns_logging_on(tmp_path):
    sample = (PACKAGING / 'yxtk.wli').read_text(encoding='ascii')
    # Every key is one the logger reads: a misspelt key is ignored silently.
    section, keys = None, {}
    for line in sample.splitlines():
        if line.startswith('['):
            section = line.strip('[]')
            assert section in ('Prms', 'Evts'), line
            continue
        key, value = line.split('=', 1)
        assert key == key.strip() and value == value.strip(), line
        keys.setdefault(section, set()).add(key)
    assert keys['Prms'] == SETTINGS_KEYS['Prms']
    assert keys['Evts'] == {'AP', 'WP'}

    # The Windows package holds it with CR LF line ends; yxtk reads it beside
    # itself. '-?' runs no power action; the bus address leads nowhere anyway.
    program = tmp_path / 'yxtk'
    shutil.copy(BUILD / 'app/yxtk', program)
    (tmp_path / 'yxtk.wli').write_bytes(sample.replace('\n', '\r\n').encode('ascii'))
    env = dict(os.environ, LC_ALL='en_US.UTF-8', LANG='en_US.UTF-8',
               DBUS_SYSTEM_BUS_ADDRESS=f'unix:path={tmp_path}/no-bus')
    for _ in range(2):  # StrtMd=APPEND: the second run adds to the first
        assert subprocess.run([str(program), '-?'], env=env, capture_output=True).returncode == 0
    lines = (tmp_path / 'yxtk.log').read_bytes().split(b'\r\n')
    assert lines[-1] == b''
    line = re.compile(rb'^AP\. \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3} Pid=0x[0-9a-f]{4,} Tid=0x[0-9a-f]{4,} \S')
    assert len(lines[:-1]) == 4 and all(line.match(x) for x in lines[:-1]), lines
