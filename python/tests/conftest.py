import os
import shutil
from pathlib import Path

import numpy as np
import pytest

ROOT = Path(__file__).resolve().parents[2]


@pytest.fixture(scope="session")
def sample():
    """The central 200 x 200 pixels of the sample network, as the analysis reads them."""
    raw = np.fromfile(ROOT / "examples" / "sample_river.raw", np.uint8).reshape(400, 400)
    return np.ascontiguousarray(raw[100:300, 100:300])


def write_river(folder: Path, network: np.ndarray, name: str = "river") -> Path:
    """Writes `network` as name.raw with its descriptor; returns the .raw."""
    raw = folder / f"{name}.raw"
    network.astype(np.uint8).tofile(raw)
    lines, columns = network.shape
    (folder / f"{name}.txt").write_text(f"{lines}\n{columns}\n1\n0\n255\n5000\n")
    return raw


@pytest.fixture(scope="session")
def drainshape_exe():
    """The drainshape program that scripts/test built beside the module."""
    exe = os.environ.get("DRAINSHAPE_EXE") or shutil.which("drainshape")
    if not exe:
        pytest.skip("no drainshape program: set DRAINSHAPE_EXE")
    return exe
