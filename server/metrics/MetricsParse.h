// Reads the text exposition format back, checking its rules: the status
// command reads the endpoint with it, and the tests hold the endpoint's
// text to it.
#ifndef VELORA_SERVER_METRICS_METRICSPARSE_H
#define VELORA_SERVER_METRICS_METRICSPARSE_H

#include <map>
#include <string>
#include <vector>

namespace velsrv {

struct MetricSample {
  std::string name;                           // with its _bucket, _sum or _count
  std::map<std::string, std::string> labels;  // values unescaped
  double value = 0;
};

// Parses text into *samples. False, with *error naming the line, when a
// rule is broken: metric and label names; label values quoted with only
// \\, \" and \n escaped; one HELP and one TYPE line per family, before its
// samples, which stand together; no sample twice; histograms with
// increasing "le" bounds up to "+Inf", cumulative counts, and _count
// equal to the +Inf bucket beside a _sum.
bool ParseMetrics(const std::string& text, std::vector<MetricSample>* samples, std::string* error);

// The sum of the values of the samples named name whose labels include
// every pair of labels.
double SumOf(const std::vector<MetricSample>& samples, const std::string& name,
             const std::map<std::string, std::string>& labels = {});

}  // namespace velsrv

#endif
