#include "export/crs.h"

#ifdef KORVANT_HAVE_PROJ
#include <proj.h>
#endif

namespace korvant {

#ifdef KORVANT_HAVE_PROJ
std::string EpsgWkt(int code, std::string* error) {
  PJ_CONTEXT* context = proj_context_create();
  proj_log_level(context, PJ_LOG_NONE);
  const std::string name = "EPSG:" + std::to_string(code);
  PJ* crs = proj_create(context, name.c_str());
  std::string wkt;
  if (crs == nullptr || !proj_is_crs(crs)) {
    *error = "PROJ knows no coordinate reference system " + name;
  } else if (const char* text = proj_as_wkt(context, crs, PJ_WKT2_2019, nullptr)) {
    wkt = text;
  } else {
    *error = "PROJ cannot write " + name + " as WKT";
  }
  if (crs != nullptr) proj_destroy(crs);
  proj_context_destroy(context);
  return wkt;
}
#else
std::string EpsgWkt(int code, std::string* error) {
  *error = "this korvant-export was built without PROJ (libproj-dev), so it knows no EPSG:" +
           std::to_string(code);
  return "";
}
#endif

}  // namespace korvant
