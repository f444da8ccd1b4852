"""Ctrl-C, progress and the GIL: the module behaves as Python code does."""

import os
import signal
import threading
import time

import numpy as np
import pytest

import drainshape
from conftest import write_river

# The reference engine with the largest windows of the tests: seconds of computing on the sample.
LONG = dict(engine="reference", window=49, regional=49)


def interrupt_after(seconds):
    """Sends SIGINT to this process after `seconds`; returns when it was sent."""
    sent = []

    def send():
        sent.append(time.monotonic())
        os.kill(os.getpid(), signal.SIGINT)

    threading.Timer(seconds, send).start()
    return sent


def test_ctrl_c_stops_analyse_within_a_second_and_python_goes_on(sample):
    sent = interrupt_after(0.3)
    with pytest.raises(KeyboardInterrupt):
        drainshape.analyse(sample, **LONG)
    assert sent and time.monotonic() - sent[0] < 1.0
    small = sample[:60, :60]
    assert np.array_equal(drainshape.analyse(small).images["TAC_DN"],
                          drainshape.analyse(small.copy()).images["TAC_DN"])


def test_ctrl_c_stops_run_and_leaves_no_file(tmp_path, sample):
    river = write_river(tmp_path, sample)
    sent = interrupt_after(0.3)
    with pytest.raises(KeyboardInterrupt):
        drainshape.run(river, **LONG)
    assert sent and time.monotonic() - sent[0] < 1.0
    assert sorted(p.name for p in tmp_path.iterdir()) == ["river.raw", "river.txt"]
    # Python's own handler is back.
    assert signal.getsignal(signal.SIGINT) is signal.default_int_handler


def test_progress_follows_each_stage_and_what_it_raises_stops_the_analysis(sample):
    calls = []
    drainshape.analyse(sample, progress=lambda *call: calls.append(call))
    stages = list(dict.fromkeys(stage for stage, _, _ in calls))
    assert stages == ["first pass", "FDP regional means", "FDP regional means (2)",
                      "TACO smoothing"]
    for stage in stages:
        done = [d for s, d, total in calls if s == stage]
        totals = {total for s, _, total in calls if s == stage}
        assert len(totals) == 1 and done[0] == 0 and done == sorted(done)
        assert done[-1] == totals.pop() > 0

    class Enough(Exception):
        pass

    def stop(stage, done, total):
        if stage == "TACO smoothing" and done > 0:
            raise Enough(stage)

    with pytest.raises(Enough):
        drainshape.analyse(sample, progress=stop)


def test_the_computation_releases_the_gil(sample):
    finished = threading.Event()

    def analyse():
        drainshape.analyse(sample, **LONG, treatment="taco")
        finished.set()

    worker = threading.Thread(target=analyse)
    worker.start()
    time.sleep(0.2)
    # Python code runs meanwhile, not only every time the analysis looks for signals.
    ticks, start = 0, time.monotonic()
    while time.monotonic() - start < 0.5 and not finished.is_set():
        ticks += 1
    worker.join()
    assert ticks > 10000
