"""The Windows package: the .zip that CPack builds from the win32 build tree
holds a stripped 32-bit yxtk.exe, a readme, the licence and the sample
settings file, the texts with Windows line ends, all in one folder.

Run with: YX_BUILD_DIR=<win32 build dir> YX_CPACK=<cpack> YX_OBJDUMP=<objdump> /usr/bin/python3 -m pytest -q packaging/tests/test_zip.py
"""

import os
import pathlib
import subprocess
import zipfile

import pytest

BUILD = pathlib.Path(os.environ.get('YX_BUILD_DIR', 'build/win32')).resolve()
CPACK = os.environ.get('YX_CPACK', 'cpack')
OBJDUMP = os.environ.get('YX_OBJDUMP', 'i686-w64-mingw32-objdump')
ROOT = pathlib.Path(__file__).resolve().parents[2]
TOP = 'yxtk-1.0-win32/'


def run(*args):
    return subprocess.run([str(a) for a in args], check=True, capture_output=True, text=True).stdout


@pytest.fixture(scope='module')
def archive(tmp_path_factory):
    out = tmp_path_factory.mktemp('zip')
    run(CPACK, '-G', 'ZIP', '--config', BUILD / 'CPackConfig.cmake', '-B', out)
    zips = list(out.glob('*.zip'))
    assert [z.name for z in zips] == ['yxtk-1.0-win32.zip']
    with zipfile.ZipFile(zips[0]) as z:
        files = {name[len(TOP):]: z.read(name) for name in z.namelist() if not name.endswith('/')}
    assert all(name.startswith(TOP) for name in z.namelist())
    return files, out


def test_contents(archive):
    files, _ = archive
    assert set(files) == {'yxtk.exe', 'README.txt', 'LICENSE.txt', 'yxtk.wli'}


@pytest.mark.parametrize('name,source', [
    ('LICENSE.txt', ROOT / 'LICENSE'),
    ('yxtk.wli', ROOT / 'packaging/yxtk.wli'),
    ('README.txt', None),
])
def test_texts_have_windows_line_ends(archive, name, source):
    data = archive[0][name]
    assert data.count(b'\n') > 0 and data.count(b'\n') == data.count(b'\r\n'), name
    if source is not None:
        assert data == source.read_bytes().replace(b'\n', b'\r\n')


def test_program_is_stripped_32bit_windows(archive):
    files, out = archive
    exe = out / 'yxtk.exe'
    exe.write_bytes(files['yxtk.exe'])
    assert 'file format pei-i386' in run(OBJDUMP, '-f', exe)
    assert '.debug_' not in run(OBJDUMP, '-h', exe), 'debug sections left'
    assert 'no symbols' in run(OBJDUMP, '-t', exe), 'symbol table left'
