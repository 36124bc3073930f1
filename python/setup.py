"""Builds the package with the shared library inside it: the library target
of the enclosing CMake project is built (nothing else) and its file copied
into the package as libvellum_sql_parser.so.

Environment: VELLUM_CMAKE_BUILD_DIR, a CMake build folder to use (default: a
folder under setuptools' build folder); CMAKE_GENERATOR as for CMake (Ninja
when it is installed, else CMake's default).
"""
import os
import shutil
import subprocess
from pathlib import Path

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

SOURCE = Path(__file__).resolve().parent.parent
LIBRARY = "libvellum_sql_parser.so"


class BuildWithLibrary(build_py):
    def run(self):
        super().run()
        if not (SOURCE / "CMakeLists.txt").exists():
            raise RuntimeError(f"no CMake project at {SOURCE}: build from a checkout of vellum_sql_parser")
        build_temp = Path(self.get_finalized_command("build").build_temp)
        cmake_build = Path(os.environ.get("VELLUM_CMAKE_BUILD_DIR") or build_temp / "cmake").resolve()
        if not (cmake_build / "CMakeCache.txt").exists():
            configure = ["cmake", "-S", str(SOURCE), "-B", str(cmake_build), "-DCMAKE_BUILD_TYPE=Release",
                         "-DVELLUM_BUILD_TESTS=OFF", "-DVELLUM_BUILD_TOOLS=OFF", "-DVELLUM_BUILD_BENCH=OFF"]
            if "CMAKE_GENERATOR" not in os.environ and shutil.which("ninja"):
                configure += ["-G", "Ninja"]
            subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(cmake_build), "--target", "vellum_sql_parser",
                        "--parallel", str(os.cpu_count() or 1)], check=True)
        built = sorted(cmake_build.glob(LIBRARY + ".*.*.*"))
        if len(built) != 1:
            raise RuntimeError(f"expected one {LIBRARY}.X.Y.Z in {cmake_build}, found {built}")
        target = Path(self.build_lib) / "vellum_sql_parser" / LIBRARY
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)
        os.chmod(target, 0o755)


class BinaryDistribution(Distribution):
    # The wheel holds a shared object: it is specific to the platform.
    def has_ext_modules(self):
        return True


setup(cmdclass={"build_py": BuildWithLibrary}, distclass=BinaryDistribution)
