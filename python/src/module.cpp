// The extension module _ldpcgraph: the library's records and calls for
// Python. Each library's bindings live in a file of their own.
#include <chrono>

#include "allocate.h"
#include "bindings.h"

namespace ldpc {
unsigned short graphsimrand[3];
unsigned short channelsimrand[3];
}  // namespace ldpc

namespace ldpcpython {

std::mutex &streamlock() {
  static std::mutex lock;
  return lock;
}

bool interrupted() {
  thread_local std::chrono::steady_clock::time_point last;
  const auto now = std::chrono::steady_clock::now();
  if (now - last < std::chrono::milliseconds(50)) return false;
  last = now;
  py::gil_scoped_acquire locked;
  return PyErr_CheckSignals() != 0;
}

void checkinterrupt() {
  if (interrupted()) throw interruption();
}

void pollinterrupt(std::int64_t, std::int64_t, const char *) { checkinterrupt(); }

}  // namespace ldpcpython

PYBIND11_MODULE(_ldpcgraph, m) {
  using namespace ldpcpython;
  m.doc() = "Tanner graphs of LDPC codes: files, constructions and statistics";

  // Memory that cannot be had is a MemoryError, never the end of the
  // interpreter.
  ldpc::setallocationfailure(ldpc::allocationfailure::throws);

  static py::exception<inputerror> formaterror(m, "FormatError", PyExc_ValueError);
  py::register_exception_translator([](std::exception_ptr raised) {
    try {
      if (raised) std::rethrow_exception(raised);
    } catch (const fileerror &error) {
      // The subclass that errno selects (FileNotFoundError, ...), carrying
      // the program's message as its text and errno as an attribute:
      // OSError(errno, strerror) would print "[Errno n] ..." instead.
      py::handle oserror(PyExc_OSError);
      py::object kind = py::type::of(oserror(error.number, ""));
      py::object exception = kind(error.what());
      exception.attr("errno") = error.number;
      PyErr_SetObject(kind.ptr(), exception.ptr());
    } catch (const inputerror &error) {
      formaterror(error.what());
    } catch (const std::bad_alloc &) {
      PyErr_SetString(PyExc_MemoryError, "not sufficient memory (the library's allocation failed)");
    } catch (const interruption &) {
      // The error that the signal handler raised is set already.
      if (PyErr_Occurred() == nullptr) PyErr_SetNone(PyExc_KeyboardInterrupt);
    }
  });

  bindgraph(m);
  bindconstruct(m);
#ifdef LDPC_PYTHON_DECODING
  binddecoding(m);
#endif
#ifdef LDPC_PYTHON_SHORTCYCLES
  bindshortcycles(m);
#endif
#ifdef LDPC_PYTHON_THRESHOLD
  bindthreshold(m);
#endif
#ifdef LDPC_PYTHON_FLOORS
  bindfloors(m);
#endif
#ifdef LDPC_PYTHON_ENCODING
  bindencoding(m);
#endif
#ifdef LDPC_PYTHON_MODULATION
  bindmodulation(m);
#endif
}
