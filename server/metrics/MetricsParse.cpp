// The exposition format's reader and checker.
#include "server/metrics/MetricsParse.h"

#include <cctype>
#include <cstdlib>
#include <limits>
#include <set>

namespace velsrv {

namespace {

bool IsName(const std::string& s, bool colons) {
  if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  for (char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && !(colons && c == ':'))
      return false;
  return true;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool ParseValue(const std::string& text, double* out) {
  if (text == "+Inf" || text == "-Inf" || text == "NaN") {
    const double inf = std::numeric_limits<double>::infinity();
    *out = text == "NaN" ? std::numeric_limits<double>::quiet_NaN() : text[0] == '+' ? inf : -inf;
    return true;
  }
  char* end = nullptr;
  *out = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && !std::isspace(static_cast<unsigned char>(text[0]));
}

// Parses `{name="value",...}` from text at *at; false when malformed.
bool ParseLabels(const std::string& text, size_t* at, std::map<std::string, std::string>* labels) {
  size_t i = *at + 1;
  while (i < text.size() && text[i] != '}') {
    size_t eq = text.find('=', i);
    if (eq == std::string::npos) return false;
    const std::string name = text.substr(i, eq - i);
    if (!IsName(name, false) || name.compare(0, 2, "__") == 0 || labels->count(name)) return false;
    if (eq + 1 >= text.size() || text[eq + 1] != '"') return false;
    std::string value;
    for (i = eq + 2; i < text.size() && text[i] != '"'; ++i) {
      if (text[i] != '\\') {
        value += text[i];
        continue;
      }
      if (++i >= text.size()) return false;
      if (text[i] == 'n')
        value += '\n';
      else if (text[i] == '\\' || text[i] == '"')
        value += text[i];
      else
        return false;
    }
    if (i >= text.size()) return false;
    (*labels)[name] = value;
    ++i;  // the closing quote
    if (i < text.size() && text[i] == ',') ++i;
  }
  if (i >= text.size()) return false;
  *at = i + 1;
  return true;
}

struct Family {
  std::string type = "untyped";
  bool help = false, typed = false, sampled = false, ended = false;
};

// The histogram rules over one family's samples (in order).
bool CheckHistogram(const std::string& name, const std::vector<MetricSample>& samples,
                    std::string* error) {
  struct Series {
    double lastBound = -1e308, lastCount = 0, count = -1;
    bool inf = false, sum = false;
  };
  std::map<std::map<std::string, std::string>, Series> series;
  for (const MetricSample& s : samples) {
    auto labels = s.labels;
    labels.erase("le");
    Series& x = series[labels];
    if (s.name == name + "_bucket") {
      double bound = 0;
      auto le = s.labels.find("le");
      if (le == s.labels.end() || !ParseValue(le->second, &bound) || bound <= x.lastBound ||
          s.value < x.lastCount || x.inf)
        return *error = name + ": buckets not increasing and cumulative", false;
      x.lastBound = bound;
      x.lastCount = s.value;
      x.inf = le->second == "+Inf";
    } else if (s.name == name + "_sum") {
      x.sum = true;
    } else if (s.name == name + "_count") {
      x.count = s.value;
    } else {
      return *error = name + ": sample " + s.name + " in a histogram", false;
    }
  }
  for (const auto& x : series)
    if (!x.second.inf || !x.second.sum || x.second.count != x.second.lastCount)
      return *error = name + ": a series lacks +Inf, _sum or a matching _count", false;
  return true;
}

}  // namespace

bool ParseMetrics(const std::string& text, std::vector<MetricSample>* samples, std::string* error) {
  samples->clear();
  if (!text.empty() && text.back() != '\n') return *error = "the text does not end a line", false;
  std::map<std::string, Family> families;
  std::map<std::string, std::vector<MetricSample>> histograms;
  std::set<std::string> seen;
  std::string current;
  size_t number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const std::string where = "line " + std::to_string(++number) + ": ";
    if (line.empty()) continue;
    if (line[0] == '#') {
      const bool help = line.compare(0, 7, "# HELP ") == 0,
                 type = line.compare(0, 7, "# TYPE ") == 0;
      if (!help && !type) continue;  // a comment
      const size_t sp = line.find(' ', 7);
      const std::string name = line.substr(7, sp == std::string::npos ? sp : sp - 7);
      const std::string rest = sp == std::string::npos ? "" : line.substr(sp + 1);
      Family& f = families[name];
      if (!IsName(name, true) || f.sampled || (help ? f.help : f.typed))
        return *error = where + "misplaced or repeated HELP/TYPE for " + name, false;
      if (help) {
        for (size_t i = 0; i < rest.size(); ++i)
          if (rest[i] == '\\' && (i + 1 >= rest.size() || (rest[++i] != '\\' && rest[i] != 'n')))
            return *error = where + "bad escape in HELP", false;
        f.help = true;
      } else {
        static const std::set<std::string> kTypes = {"counter", "gauge", "histogram", "summary",
                                                     "untyped"};
        if (!kTypes.count(rest)) return *error = where + "unknown type " + rest, false;
        f.type = rest;
        f.typed = true;
      }
      continue;
    }
    MetricSample s;
    size_t i = 0;
    while (i < line.size() && line[i] != '{' && line[i] != ' ') ++i;
    s.name = line.substr(0, i);
    if (!IsName(s.name, true)) return *error = where + "bad metric name", false;
    if (i < line.size() && line[i] == '{' && !ParseLabels(line, &i, &s.labels))
      return *error = where + "bad labels", false;
    if (i >= line.size() || line[i] != ' ') return *error = where + "no value", false;
    std::string value = line.substr(i + 1);
    value = value.substr(0, value.find(' '));  // a timestamp may follow
    if (!ParseValue(value, &s.value)) return *error = where + "bad value " + value, false;
    std::string family = s.name;
    for (const char* suffix : {"_bucket", "_sum", "_count"})
      if (EndsWith(s.name, suffix)) {
        const std::string base = s.name.substr(0, s.name.size() - std::string(suffix).size());
        auto f = families.find(base);
        if (f != families.end() && f->second.type == "histogram") family = base;
      }
    Family& f = families[family];
    if (family != current) {
      if (f.ended) return *error = where + "samples of " + family + " apart", false;
      if (!current.empty()) families[current].ended = true;
      current = family;
    }
    f.sampled = true;
    std::string key = s.name;
    for (const auto& l : s.labels) key += "\n" + l.first + "\n" + l.second;
    if (!seen.insert(key).second) return *error = where + "repeated sample", false;
    if (f.type == "histogram") histograms[family].push_back(s);
    samples->push_back(std::move(s));
  }
  for (const auto& h : histograms)
    if (!CheckHistogram(h.first, h.second, error)) return false;
  return true;
}

double SumOf(const std::vector<MetricSample>& samples, const std::string& name,
             const std::map<std::string, std::string>& labels) {
  double sum = 0;
  for (const MetricSample& s : samples) {
    if (s.name != name) continue;
    bool match = true;
    for (const auto& l : labels) {
      auto it = s.labels.find(l.first);
      match = match && it != s.labels.end() && it->second == l.second;
    }
    if (match) sum += s.value;
  }
  return sum;
}

}  // namespace velsrv
