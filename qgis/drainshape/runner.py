"""The one call of the drainshape executable that every algorithm makes."""

import json
import os
import queue
import shutil
import signal
import subprocess
import threading

from qgis.core import QgsProcessingException

EXECUTABLE_SETTING = "DRAINSHAPE_EXECUTABLE"
# Stages of `drainshape run --progress json`, in the order they run.
STAGES = ["first_pass", "fdp_regional1", "fdp_regional2", "smoothing"]


def executable():
    """The environment variable, else the provider setting, else drainshape on the PATH."""
    path = os.environ.get(EXECUTABLE_SETTING, "")
    if not path:
        try:
            from processing.core.ProcessingConfig import ProcessingConfig

            path = ProcessingConfig.getSetting(EXECUTABLE_SETTING) or ""
        except ImportError:
            path = ""
    path = path or shutil.which("drainshape") or ""
    if not path or not os.access(path, os.X_OK):
        raise QgsProcessingException(
            "drainshape: the executable was not found; put it on the PATH or set it in "
            "Processing > Options > Providers > drainshape")
    return path


_options = {}


def run_options(exe):
    """The options that `drainshape run --help` lists."""
    if exe not in _options:
        text = subprocess.run([exe, "run", "--help"], capture_output=True, text=True).stdout
        _options[exe] = {w.strip(",") for w in text.split() if w.startswith("--")}
    return _options[exe]


def _progress(line, stages):
    try:
        p = json.loads(line)
        k = stages.index(p["stage"])
    except (ValueError, KeyError, TypeError):
        return None
    part = p["done"] / p["total"] if p.get("total") else 1.0
    return p, 100.0 * (k + part) / len(stages)


def call(args, feedback, stages=None):
    """Runs drainshape with `args`; returns its standard output.

    Lines of `--progress json` on the error stream move the progress bar, the other lines go to
    the log. A non-zero exit raises QgsProcessingException with drainshape's last message; a
    cancel sends SIGTERM and waits, so that drainshape removes its temporary files.
    """
    cmd = [executable()] + [str(a) for a in args]
    feedback.pushCommandInfo(" ".join(cmd))
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    lines = queue.Queue()

    def read(stream, tag):
        for line in stream:
            lines.put((tag, line.rstrip("\n")))
        lines.put((tag, None))

    out = []
    readers = [threading.Thread(target=read, args=(s, t), daemon=True)
               for s, t in ((proc.stdout, "out"), (proc.stderr, "err"))]
    for r in readers:
        r.start()
    messages = []
    open_streams = 2
    cancelled = False
    while open_streams:
        if feedback.isCanceled() and not cancelled:
            cancelled = True
            proc.send_signal(signal.SIGTERM)
        try:
            tag, line = lines.get(timeout=0.1)
        except queue.Empty:
            continue
        if line is None:
            open_streams -= 1
        elif tag == "out":
            out.append(line)
        else:
            progress = _progress(line, stages) if stages else None
            if progress:
                p, percent = progress
                feedback.setProgress(percent)
                if p.get("end"):
                    feedback.pushInfo("{}: done ({} items)".format(p["name"], p["items"]))
            elif line:
                messages.append(line)
                feedback.pushInfo(line)
    status = proc.wait()
    proc.stdout.close()
    proc.stderr.close()
    if status != 0:
        error = [m for m in messages if not m.startswith("drainshape: warning")]
        message = (error or messages or ["drainshape: exit status {}".format(status)])[-1]
        raise QgsProcessingException(message)
    return "\n".join(out)
