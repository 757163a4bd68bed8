// The JSON writer alone: runs a workload script in an embedded interpreter, then times
// write_json over every outline its everything() returns, into one reused string.
//   brenk_json_bench SCRIPT  ->  "<bytes> <outlines> <best seconds of 5>"
#include <Python.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "brenk/embed.hpp"
#include "brenk/json.hpp"

int main(int argc, char** argv)
{
    if (argc != 2 || !brenk::embed::register_module()) return 2;
    Py_Initialize();
    std::FILE* file = std::fopen(argv[1], "rb");
    PyObject* globals = file != nullptr ? PyDict_New() : nullptr;
    if (globals == nullptr) return 2;
    PyDict_SetItemString(globals, "__builtins__", PyEval_GetBuiltins());
    PyObject* ran = PyRun_FileEx(file, argv[1], Py_file_input, globals, globals, 1);
    PyObject* list = ran != nullptr ? PyObject_CallNoArgs(PyDict_GetItemString(globals, "once")) : nullptr;
    if (list == nullptr || !PyList_Check(list)) {
        PyErr_Print();
        return 1;
    }
    std::vector<brenk::OutlineView> outlines;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
        if (auto o = brenk::embed::outline(PyList_GET_ITEM(list, i))) outlines.push_back(*o);
    }
    std::string out;
    std::size_t bytes = 0;
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        bytes = 0;
        const auto started = std::chrono::steady_clock::now();
        for (const brenk::OutlineView& o : outlines) {
            out.clear();
            brenk::write_json(o, out);
            bytes += out.size() + 1;
        }
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }
    std::printf("%zu %zu %.6f\n", bytes, outlines.size(), best);
    Py_DECREF(list);
    Py_DECREF(ran);
    Py_DECREF(globals);
    return Py_FinalizeEx() == 0 ? 0 : 1;
}
