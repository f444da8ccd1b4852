"""The products of the module are those of the files that `drainshape run` writes."""

import re
import subprocess

import numpy as np
import pytest

import drainshape
from conftest import write_river


def command(exe, river, *options):
    subprocess.run([exe, "run", str(river), "--quiet", *map(str, options)], check=True)


def products_on_disk(folder, suffix):
    return sorted(p.name[len("river_") : -len(suffix)] for p in folder.glob(f"river_*{suffix}"))


@pytest.mark.parametrize("treatment", ["both", "taco"])
@pytest.mark.parametrize("window,regional", [(13, 49), (25, 13)])
def test_analyse_gives_what_drainshape_run_writes(
    tmp_path, sample, drainshape_exe, treatment, window, regional
):
    river = write_river(tmp_path, sample)
    command(drainshape_exe, river, "--treatment", treatment, "--window", window,
            "--regional", regional)
    result = drainshape.analyse(sample, window=window, regional=regional, treatment=treatment)

    assert sorted(result.images) == products_on_disk(tmp_path, ".raw")
    assert sorted(result.tables) == products_on_disk(tmp_path, ".xls")
    for name, image in result.images.items():
        assert image.dtype == np.uint8 and image.shape == sample.shape
        assert image.tobytes() == (tmp_path / f"river_{name}.raw").read_bytes(), name
        # The descriptor ends with the extremes, printed with 6 decimals.
        text = (tmp_path / f"river_{name}.txt").read_text()
        printed = [float(v) for v in re.findall(r"(?:Min|Max)\. = (\S+)", text)]
        np.testing.assert_allclose(result.extremes[name], printed, rtol=0, atol=5e-7)
    for name, table in result.tables.items():
        rows = np.loadtxt(tmp_path / f"river_{name}.xls", skiprows=1, delimiter="\t", ndmin=2)
        assert table.shape == rows.shape, name
        np.testing.assert_allclose(table, rows, rtol=0, atol=5e-7, err_msg=name)
    assert result.parameters == {
        "program": f"drainshape {drainshape.__version__}", "engine": "fast",
        "treatment": treatment, "window": window, "regional": regional, "mnc": 1,
    }


def test_run_writes_the_files_of_the_command_and_returns_the_products(
    tmp_path, sample, drainshape_exe
):
    (tmp_path / "cli").mkdir()
    (tmp_path / "module").mkdir()
    command(drainshape_exe, write_river(tmp_path / "cli", sample), "--window", 25, "--mnc", 2)
    result = drainshape.run(write_river(tmp_path / "module", sample), window=25, mnc=2)

    cli = sorted(p.name for p in (tmp_path / "cli").iterdir())
    assert sorted(p.name for p in (tmp_path / "module").iterdir()) == cli
    for name in cli:
        assert (tmp_path / "module" / name).read_bytes() == (tmp_path / "cli" / name).read_bytes()
    analysed = drainshape.analyse(sample, window=25, mnc=2)
    assert result.images.keys() == analysed.images.keys()
    for name in analysed.images:
        assert np.array_equal(result.images[name], analysed.images[name])
    for name in analysed.tables:
        assert np.array_equal(result.tables[name], analysed.tables[name])
    assert result.extremes == analysed.extremes
    assert result.parameters == analysed.parameters


def test_fields_are_the_values_the_images_round(sample):
    result = drainshape.analyse(sample, fields=True)
    images = result.images

    def image_value(v):  # plus 0.5, truncated toward zero, the low 8 bits
        return (v + 0.5).astype(np.int64) & 255

    assert result.taco.dtype == np.float64 and result.taco.shape == sample.shape
    assert np.array_equal(image_value(result.taco), images["TAC_DN"])
    for field, image in ((result.fdp, images["FDP_DN"]), (result.fdp2, images["FDP_DN2"])):
        processed = ~np.isnan(field)
        # The network pixels far enough from the edges, and nothing else.
        assert 0 < processed.sum() <= (sample == 1).sum()
        assert np.array_equal(image_value(field[processed] * 100), image[processed])
        assert not image[~processed].any()
    for r2, table, fdp in (
        (result.fdp_r2, result.tables["FDP_ER0"], result.fdp),
        (result.fdp2_r2, result.tables["FDP_ER1"], result.fdp2),
    ):
        assert np.array_equal(np.isnan(r2), np.isnan(fdp))
        classes = (r2[~np.isnan(r2)] * 1000 + 0.5).astype(np.int64)
        counted = dict(zip(*np.unique(classes, return_counts=True)))
        assert {round(c * 1000): int(n) for c, n in table if n > 0} == counted
    # TAC_RI truncates the smoothed field, inside the regional half side of the edges.
    inner = (slice(24, -24), slice(24, -24))
    assert np.array_equal(result.taco_ri[inner].astype(np.int64) & 255, images["TAC_RI"][inner])
    taco_only = drainshape.analyse(sample, treatment="taco", fields=True)
    assert taco_only.fdp is None and taco_only.fdp2 is None and taco_only.fdp_r2 is None
    assert np.array_equal(taco_only.taco, result.taco)
