#pragma once

#include <string>

namespace korvant {

/// The coordinate reference system EPSG:`code` as WKT (WKT2 of 2019, which
/// names its EPSG code), from the PROJ database; "" with *error saying why
/// when there is none such, or the program was built without PROJ.
std::string EpsgWkt(int code, std::string* error);

}  // namespace korvant
