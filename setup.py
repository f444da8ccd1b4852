"""Builds the Python module through the project's CMake, so that there is one list of sources.

`pip install --no-build-isolation .` configures CMake in build/python with
-DDRAINSHAPE_WITH_PYTHON=ON for the interpreter that runs pip, builds the target _drainshape, and
installs it with the package's Python files. DRAINSHAPE_BUILD_DIR names a build folder already
configured with the module (scripts/test's), which is then only brought up to date.
"""

import os
import re
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(drainshape VERSION ([0-9.]+)", text).group(1)


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        given = os.environ.get("DRAINSHAPE_BUILD_DIR")
        build = Path(given).resolve() if given else ROOT / "build" / "python"
        if not given:
            subprocess.run(
                [
                    "cmake", "-S", str(ROOT), "-B", str(build),
                    "-DCMAKE_BUILD_TYPE=Release",
                    "-DDRAINSHAPE_WITH_PYTHON=ON",
                    "-DDRAINSHAPE_BUILD_TESTS=OFF",
                    f"-DPython_EXECUTABLE={sys.executable}",
                ],
                check=True,
            )
        jobs = str(os.cpu_count() or 1)
        subprocess.run(
            ["cmake", "--build", str(build), "--target", "_drainshape", "-j", jobs], check=True
        )
        suffix = sysconfig.get_config_var("EXT_SUFFIX")
        built = build / "python" / "drainshape" / f"_drainshape{suffix}"
        if not built.exists():
            sys.exit(f"{built} was not built: configure {build} with -DDRAINSHAPE_WITH_PYTHON=ON "
                     f"for this interpreter")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)
        # GDAL's module, loaded on first use from beside the extension (absent without GDAL).
        gis = built.parent / "libdrainshape_gis.so"
        if gis.exists():
            shutil.copyfile(gis, target.parent / gis.name)


setup(
    version=version(),
    packages=["drainshape"],
    package_dir={"": "python"},
    package_data={"drainshape": ["py.typed", "__init__.pyi"]},
    ext_modules=[CMakeExtension("drainshape._drainshape")],
    cmdclass={"build_ext": CMakeBuild},
    zip_safe=False,
)
