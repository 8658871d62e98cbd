"""Builds the extension module _ldpcgraph with the project's CMake files and
puts it into the package, so that `pip install .` gives the same module as
the CMake build tree (build/python/ldpcgraph)."""

import os
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        source = os.path.dirname(os.path.abspath(__file__))
        build = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        target = os.path.dirname(os.path.abspath(self.get_ext_fullpath(ext.name)))
        jobs = str(os.cpu_count() or 1)
        subprocess.check_call([
            "cmake", "-S", source, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
            "-DLDPC_BUILD_TESTS=OFF", "-DLDPC_BUILD_BENCH=OFF",
            "-DPython_EXECUTABLE=" + sys.executable,
            "-DCMAKE_LIBRARY_OUTPUT_DIRECTORY=" + target])
        subprocess.check_call(["cmake", "--build", build, "--target", "_ldpcgraph", "-j", jobs])
        built = os.path.join(build, "python", "ldpcgraph", os.path.basename(self.get_ext_fullpath(ext.name)))
        os.makedirs(target, exist_ok=True)
        self.copy_file(built, self.get_ext_fullpath(ext.name))


# The build folder of pip's build: build-python beside the CMake build trees
# unless LDPC_PIP_BUILD names another.
setup(ext_modules=[CMakeExtension("ldpcgraph._ldpcgraph")], cmdclass={"build_ext": CMakeBuild},
      options={"build": {"build_base": os.environ.get("LDPC_PIP_BUILD", "build-python")}})
