"""The drainshape Processing provider, run headless through qgis_process and the Python API.

DRAINSHAPE_EXE: the drainshape executable under test (default build/h/drainshape).
"""

import hashlib
import os
import pathlib
import shutil
import subprocess

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
EXE = os.environ.get("DRAINSHAPE_EXE", str(REPO / "build" / "h" / "drainshape"))
DEM = REPO / "tests" / "data" / "jacksboro_fault_dem.tif"
QGIS_PROCESS = shutil.which("qgis_process.bin")

pytestmark = pytest.mark.skipif(QGIS_PROCESS is None, reason="QGIS is not installed")


@pytest.fixture(scope="session")
def env(tmp_path_factory):
    home = tmp_path_factory.mktemp("home")
    runtime = home / "runtime"
    runtime.mkdir(mode=0o700)
    e = dict(os.environ, QT_QPA_PLATFORM="offscreen", QGIS_PLUGINPATH=str(REPO / "qgis"),
             HOME=str(home), XDG_RUNTIME_DIR=str(runtime), DRAINSHAPE_EXECUTABLE=EXE,
             # no .aux.xml beside the repository's DEM when QGIS reads it
             GDAL_PAM_ENABLED="NO")
    subprocess.run([QGIS_PROCESS, "plugins", "enable", "drainshape"], env=e, check=True,
                   capture_output=True)
    return e


def qgis_process(env, algorithm, **params):
    args = [QGIS_PROCESS, "run", "drainshape:" + algorithm, "--"]
    args += ["{}={}".format(k, v) for k, v in params.items()]
    return subprocess.run(args, env=env, capture_output=True, text=True)


def drainshape(*args):
    return subprocess.run([EXE] + [str(a) for a in args], capture_output=True, text=True,
                          check=True)


@pytest.fixture(scope="session")
def network(tmp_path_factory):
    """A georeferenced network made from the test DEM."""
    path = tmp_path_factory.mktemp("net") / "net.tif"
    drainshape("prepare", DEM, "--from-dem", "--threshold-cells", 200, "-o", path)
    return path


def digests(folder):
    return {p.name: hashlib.sha256(p.read_bytes()).hexdigest()
            for p in sorted(folder.iterdir()) if p.is_file()}


def test_prepare_dem_gives_the_bytes_of_the_command_line(env, network, tmp_path):
    out = tmp_path / "p.tif"
    r = qgis_process(env, "prepare_dem", INPUT=DEM, THRESHOLD_CELLS=200, OUTPUT=out)
    assert r.returncode == 0, r.stdout + r.stderr
    assert out.read_bytes() == network.read_bytes()


def test_a_window_of_14_fails_with_drainshapes_message(env, network, tmp_path):
    r = qgis_process(env, "analyse", INPUT=network, WINDOW=14, OUTPUT_FOLDER=tmp_path / "o")
    assert r.returncode != 0
    # QGIS's error line carries drainshape's own message.
    assert "ERROR:\tdrainshape: --window: 14 is not a window side; the sides are 13, 25" in (
        r.stdout + r.stderr)
    assert "Traceback" not in r.stdout + r.stderr
    assert not (tmp_path / "o").exists() or not any((tmp_path / "o").iterdir())


def test_analyse_gives_the_files_of_drainshape_run(env, network, tmp_path):
    r = qgis_process(env, "analyse", INPUT=network, WINDOW=25, REGIONAL=37, MNC=2,
                     TREATMENT=1, NAME="q", OUTPUT_FOLDER=tmp_path / "qgis")
    assert r.returncode == 0, r.stdout + r.stderr
    # The options the plugin passes, whichever of them this executable has.
    help_text = drainshape("run", "--help").stdout
    real = "--layers" in help_text
    segments = "--segments" in help_text
    cli = tmp_path / "cli"
    cli.mkdir()
    drainshape("run", network, "--window", 25, "--regional", 37, "--mnc", 2, "--treatment",
               "both", "--name", "q", "--out", cli, "--quiet",
               *(["--layers"] if real else ["--geotiff"]), *(["--segments"] if segments else []))
    made = digests(tmp_path / "qgis")
    expected = digests(cli)
    if real:
        assert "q_TACO.tif" in made and "q_FDP2_R2.tif" in made
    else:
        assert "q_TAC_DN.tif" in made and "q_FDP_RI2.tif" in made
    if segments:
        assert "q_network.gpkg" in made
        # A GeoPackage records when it was written: compare its features, not its bytes.
        for d in (made, expected):
            del d["q_network.gpkg"]
        dump = [subprocess.run(["ogrinfo", "-al", "-q", str(f / "q_network.gpkg")],
                               capture_output=True, text=True, check=True).stdout
                for f in (tmp_path / "qgis", cli)]
        assert dump[0] == dump[1]
    assert made == expected


CANCEL_SCRIPT = r"""
import sys
from qgis.core import QgsApplication, QgsProcessingFeedback, QgsProcessingContext
from qgis.core import QgsProcessingException
app = QgsApplication([], False)
app.initQgis()
sys.path[:0] = ["/usr/share/qgis/python/plugins", sys.argv[1]]
from processing.core.Processing import Processing
Processing.initialize()
import drainshape
plugin = drainshape.classFactory(None)
plugin.initProcessing()
import processing


class CancelAtFirstProgress(QgsProcessingFeedback):
    def setProgress(self, p):
        super().setProgress(p)
        self.cancel()


try:
    processing.run("drainshape:analyse", {
        "INPUT": sys.argv[2], "WINDOW": 181, "REGIONAL": 241, "THREADS": 1, "NAME": "c",
        "OUTPUT_FOLDER": sys.argv[3]}, feedback=CancelAtFirstProgress(),
        context=QgsProcessingContext())
    print("finished")
except QgsProcessingException as e:
    print("error:", e)
"""


def test_a_cancelled_run_leaves_no_temporary_file_and_the_earlier_results(env, tmp_path):
    # A network large enough that the run is still in its first pass when it is cancelled.
    river = tmp_path / "big.tif"
    drainshape("prepare", DEM, "--from-dem", "--t-srs", "EPSG:32614", "--pixel-size", 25,
               "--threshold-cells", 2000, "-o", river)
    out = tmp_path / "out"
    out.mkdir()
    drainshape("run", river, "--window", 13, "--regional", 13, "--name", "c", "--out", out,
               "--geotiff", "--quiet")
    before = digests(out)
    script = tmp_path / "cancel.py"
    script.write_text(CANCEL_SCRIPT)
    r = subprocess.run(["/usr/bin/python3", script, REPO / "qgis", river, out], env=env,
                       capture_output=True, text=True, timeout=120)
    assert "error: drainshape: stopped by SIGTERM" in r.stdout, r.stdout + r.stderr
    assert digests(out) == before
    assert not list(out.glob(".drainshape-*"))
