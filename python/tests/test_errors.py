"""Wrong arguments raise, in the words of the command line, before anything is computed."""

import subprocess

import numpy as np
import pytest

import drainshape
from conftest import write_river

REFUSED = [("window", 14), ("regional", 50), ("mnc", 4), ("mnc", -1), ("treatment", "fd"),
           ("engine", "slow"), ("threads", -1)]


@pytest.mark.parametrize("option,value", REFUSED)
def test_a_refused_value_raises_value_error_with_the_command_line_words(
    tmp_path, sample, drainshape_exe, option, value
):
    river = write_river(tmp_path, sample)
    cli = subprocess.run([drainshape_exe, "run", str(river), f"--{option}", str(value)],
                         capture_output=True, text=True)
    assert cli.returncode == 2
    for call in (lambda: drainshape.analyse(sample, **{option: value}),
                 lambda: drainshape.run(river, **{option: value})):
        with pytest.raises(ValueError) as refused:
            call()
        assert cli.stderr == f"drainshape: --{refused.value}\n"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["river.raw", "river.txt"]


@pytest.mark.parametrize(
    "arguments,error,words",
    [
        (dict(network=np.zeros((4, 4))), TypeError, "network: an array of float64"),
        (dict(network=np.zeros((4, 4, 2), np.uint8)), ValueError, "network: a two-dimensional"),
        (dict(network=np.zeros((0, 4), np.uint8)), ValueError, "network: 0 lines and 4 columns"),
        (dict(window=13.0), TypeError, "window: 13.0 is not a window side; the sides are 13,"),
        (dict(mnc="1"), TypeError, "mnc: '1' is not a whole number"),
        (dict(treatment=1), TypeError, "treatment: '1' is not a treatment"),
        (dict(progress=5), TypeError, "progress: 5 is not callable"),
    ],
)
def test_a_wrong_argument_raises_naming_it(sample, arguments, error, words):
    arguments = {"network": sample, **arguments}
    with pytest.raises(error, match="^" + words.replace(".", r"\.").replace("(", r"\(")):
        drainshape.analyse(**arguments)


def test_run_refuses_as_the_command_does(tmp_path, sample, drainshape_exe):
    river = write_river(tmp_path, sample, "r_TAC_DN")
    cases = [
        (["--name", "r"], dict(name="r")),  # r_TAC_DN.raw would replace the river
        (["--out", str(tmp_path / "none")], dict(out=tmp_path / "none")),
        (["--name", "a/b"], dict(name="a/b")),
    ]
    for options, arguments in cases:
        cli = subprocess.run([drainshape_exe, "run", str(river), *options],
                             capture_output=True, text=True)
        assert cli.returncode == 2
        with pytest.raises(ValueError) as refused:
            drainshape.run(river, **arguments)
        assert cli.stderr == f"drainshape: {refused.value}\n"
    with pytest.raises(ValueError, match="^no river file "):
        drainshape.run(tmp_path / "missing.raw")
    assert sorted(p.name for p in tmp_path.iterdir()) == ["r_TAC_DN.raw", "r_TAC_DN.txt"]
