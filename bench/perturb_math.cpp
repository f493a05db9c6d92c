// A library to preload (LD_PRELOAD) into the tildefx tool that moves the
// results of the math functions the objects call by one unit in the last
// place, as another C library's functions might return them. bench/
// measure_math.sh counts how many output samples change.
// TILDEFX_PERTURB chooses how: "up" (every result's magnitude one ulp up),
// "down" (one ulp down) or "mixed" (up or down by a hash of the argument);
// TILDEFX_PERTURB_SHARE (0 to 1, default 1) moves only that share of the
// arguments, chosen by the same hash; TILDEFX_PERTURB_ULPS (default 1) moves
// them by that many ulps instead of one.
#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

uint64_t hash_of(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  bits ^= bits >> 33;
  bits *= 0xff51afd7ed558ccdULL;
  bits ^= bits >> 33;
  return bits;
}

struct Setting {
  int direction = 1;  // 1 up, -1 down, 0 mixed
  uint64_t shareLimit = UINT64_MAX;
  int64_t ulps = 1;
  Setting() {
    const char* mode = std::getenv("TILDEFX_PERTURB");
    const std::string name = mode ? mode : "up";
    direction = name == "down" ? -1 : name == "mixed" ? 0 : 1;
    if (const char* share = std::getenv("TILDEFX_PERTURB_SHARE"))
      shareLimit = static_cast<uint64_t>(std::strtod(share, nullptr) * 18446744073709551615.0);
    if (const char* count = std::getenv("TILDEFX_PERTURB_ULPS")) ulps = std::atoll(count);
  }
};

double perturb(double argument, double result) {
  static const Setting setting;
  if (!std::isfinite(result) || result == 0.0) return result;
  const uint64_t hash = hash_of(argument);
  if ((hash >> 1) > setting.shareLimit >> 1) return result;
  const int direction = setting.direction != 0 ? setting.direction : (hash & 1 ? 1 : -1);
  // Finite doubles of one sign are ordered as their bit patterns.
  int64_t bits;
  std::memcpy(&bits, &result, sizeof bits);
  bits += direction * setting.ulps;
  double moved;
  std::memcpy(&moved, &bits, sizeof moved);
  return moved;
}

template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using Unary = double (*)(double);
using Binary = double (*)(double, double);
using SinCos = void (*)(double, double*, double*);

}  // namespace

extern "C" {
double atan(double x) { static const Unary f = next<Unary>("atan"); return perturb(x, f(x)); }
double tan(double x) { static const Unary f = next<Unary>("tan"); return perturb(x, f(x)); }
double sin(double x) { static const Unary f = next<Unary>("sin"); return perturb(x, f(x)); }
double cos(double x) { static const Unary f = next<Unary>("cos"); return perturb(x, f(x)); }
double exp(double x) { static const Unary f = next<Unary>("exp"); return perturb(x, f(x)); }
double exp2(double x) { static const Unary f = next<Unary>("exp2"); return perturb(x, f(x)); }
double log10(double x) { static const Unary f = next<Unary>("log10"); return perturb(x, f(x)); }
double pow(double x, double y) {
  static const Binary f = next<Binary>("pow");
  return perturb(x * 3.0 + y, f(x, y));
}
void sincos(double x, double* s, double* c) {
  static const SinCos f = next<SinCos>("sincos");
  f(x, s, c);
  *s = perturb(x, *s);
  *c = perturb(-x, *c);
}
}
