// What the rest of the layer may ask of the reader beyond its published interface.
#pragma once

#include <string>

#include "dxfile.h"

namespace layer {

// A new handle on the same data object with its own child cursor at the first child,
// so a walk by the layer leaves the caller's cursor where it was. E_INVALIDARG for
// an object that is not the reader's own.
HRESULT FreshDataHandle(IDirectXFileData* object, IDirectXFileData** out);

// "X file: <the file the object was read from>: <what>", once a run, on the
// debugger output (kept quiet for the fuzzer): what the layer's readers of the
// file's objects found wrong with them.
void ReportXFileProblem(IDirectXFileData* object, const std::string& what);
void ReportXFileProblem(const std::string& fileName, const std::string& what);

// How messages name an object: its template, then its name when it has one
// ("Mesh 'LevelMesh'"); "" for an object that is not the reader's own.
std::string DescribeXFileObject(IDirectXFileData* object);

}  // namespace layer
