// Parameter conversion from the C date, time and timestamp structures.
#include <cstdio>
#include <cstring>

#include "convert/ParameterJob.h"

namespace paramjob {

ParamOutcome FromDateTime(Job& j) {
  const ParamSource source = j.c->source;
  DATE_STRUCT d = {};
  TIME_STRUCT t = {};
  TIMESTAMP_STRUCT ts = {};
  if (source == kSrcDate) {
    std::memcpy(&d, j.in.data, sizeof d);
    ts.year = d.year;
    ts.month = d.month;
    ts.day = d.day;
  } else if (source == kSrcTime) {
    std::memcpy(&t, j.in.data, sizeof t);
    ts.hour = t.hour;
    ts.minute = t.minute;
    ts.second = t.second;
  } else {
    std::memcpy(&ts, j.in.data, sizeof ts);
  }
  layout::DateTime dt;
  dt.year = ts.year;
  dt.month = ts.month;
  dt.day = ts.day;
  dt.hour = ts.hour;
  dt.minute = ts.minute;
  dt.second = ts.second;
  dt.fraction = ts.fraction;
  char text[48];
  switch (j.sql->form) {
    case SqlForm::kDate:
      if (source == kSrcTimestamp && (ts.hour | ts.minute | ts.second | ts.fraction) != 0)
        return kParamTimeLost;
      return PutDateTime(j, dt);
    case SqlForm::kTime:
      if (source == kSrcTimestamp && ts.fraction != 0) return kParamFractionLost;
      return PutDateTime(j, dt);
    case SqlForm::kTimestamp:
      return PutDateTime(j, dt);
    default:
      if (source == kSrcDate) {
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", d.year, d.month, d.day);
      } else if (source == kSrcTime) {
        std::snprintf(text, sizeof text, "%02u:%02u:%02u", t.hour, t.minute, t.second);
      } else {
        int used = std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", ts.year,
                                 ts.month, ts.day, ts.hour, ts.minute, ts.second);
        const unsigned long f = ts.fraction;
        if (f != 0) {
          if (f % 1000000 == 0) {
            std::snprintf(text + used, sizeof text - used, ".%03lu", f / 1000000);
          } else if (f % 1000 == 0) {
            std::snprintf(text + used, sizeof text - used, ".%03lu%03lu", f / 1000000,
                          (f / 1000) % 1000);
          } else {
            std::snprintf(text + used, sizeof text - used, ".%03lu%03lu%03lu", f / 1000000,
                          (f / 1000) % 1000, f % 1000);
          }
        }
      }
      return PutText(j, text);
  }
}

}  // namespace paramjob
