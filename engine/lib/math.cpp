// "math.h": thin wrappers over the host's functions, and the M_ constants.
#include "library.h"

#include "state.h"
#include "variable.h"

#include <cmath>
#include <cstring>

namespace {

using Unary = double (*)(double);

template <Unary f>
void unary(ParseCursor *, ScriptValue *r, ScriptValue **a, int32_t)
{
    resultDouble(r, f(argDouble(a, 0)));
}

template <double (*f)(double, double)>
void binary(ParseCursor *, ScriptValue *r, ScriptValue **a, int32_t)
{
    resultDouble(r, f(argDouble(a, 0), argDouble(a, 1)));
}

// Names the overload set, so the templates above bind the double versions.
double hostAcos(double x) { return std::acos(x); }
double hostAsin(double x) { return std::asin(x); }
double hostAtan(double x) { return std::atan(x); }
double hostAtan2(double y, double x) { return std::atan2(y, x); }
double hostCeil(double x) { return std::ceil(x); }
double hostCos(double x) { return std::cos(x); }
double hostCosh(double x) { return std::cosh(x); }
double hostExp(double x) { return std::exp(x); }
double hostFabs(double x) { return std::fabs(x); }
double hostFloor(double x) { return std::floor(x); }
double hostFmod(double x, double y) { return std::fmod(x, y); }
double hostLog(double x) { return std::log(x); }
double hostLog10(double x) { return std::log10(x); }
double hostPow(double x, double y) { return std::pow(x, y); }
// Halves go down: 2.5 gives 2, -2.5 gives -3.
double halfDown(double x) { return std::ceil(x - 0.5); }
double hostSin(double x) { return std::sin(x); }
double hostSinh(double x) { return std::sinh(x); }
double hostSqrt(double x) { return std::sqrt(x); }
double hostTan(double x) { return std::tan(x); }
double hostTanh(double x) { return std::tanh(x); }

void mathFrexp(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    void *exponentAt = argPointer(a, 1);
    checkWrite(c, exponentAt, sizeof(int32_t));
    int exponent = 0;
    double mantissa = std::frexp(argDouble(a, 0), &exponent);
    int32_t stored = exponent;
    memcpy(exponentAt, &stored, sizeof stored);
    resultDouble(r, mantissa);
}

void mathLdexp(ParseCursor *, ScriptValue *r, ScriptValue **a, int32_t)
{
    resultDouble(r, std::ldexp(argDouble(a, 0), argInt(a, 1)));
}

void mathModf(ParseCursor *c, ScriptValue *r, ScriptValue **a, int32_t)
{
    void *integralAt = argPointer(a, 1);
    checkWrite(c, integralAt, sizeof(double));
    double integral = 0;
    double fraction = std::modf(argDouble(a, 0), &integral);
    memcpy(integralAt, &integral, sizeof integral);
    resultDouble(r, fraction);
}

double constants[] = {2.718281828459045,  1.4426950408889634, 0.4342944819032518, 0.6931471805599453,
                      2.302585092994046,  3.141592653589793,  1.5707963267948966, 0.7853981633974483,
                      0.3183098861837907, 0.6366197723675814, 1.1283791670955126, 1.4142135623730951,
                      0.7071067811865476};
// In step with `constants`.
const char *const constantNames[] = {"M_E",    "M_LOG2E", "M_LOG10E", "M_LN2",      "M_LN10",
                                     "M_PI",   "M_PI_2",  "M_PI_4",   "M_1_PI",     "M_2_PI",
                                     "M_2_SQRTPI", "M_SQRT2", "M_SQRT1_2"};
static_assert(sizeof constants / sizeof constants[0] == sizeof constantNames / sizeof constantNames[0],
              "every constant has a name");

} // namespace

const LibraryEntry mathLibrary[] = {
    {unary<hostAcos>, "float acos(float);"},
    {unary<hostAsin>, "float asin(float);"},
    {unary<hostAtan>, "float atan(float);"},
    {binary<hostAtan2>, "float atan2(float, float);"},
    {unary<hostCeil>, "float ceil(float);"},
    {unary<hostCos>, "float cos(float);"},
    {unary<hostCosh>, "float cosh(float);"},
    {unary<hostExp>, "float exp(float);"},
    {unary<hostFabs>, "float fabs(float);"},
    {unary<hostFloor>, "float floor(float);"},
    {binary<hostFmod>, "float fmod(float, float);"},
    {mathFrexp, "float frexp(float, int *);"},
    {mathLdexp, "float ldexp(float, int);"},
    {unary<hostLog>, "float log(float);"},
    {unary<hostLog10>, "float log10(float);"},
    {mathModf, "float modf(float, float *);"},
    {binary<hostPow>, "float pow(float,float);"},
    {unary<halfDown>, "float round(float);"},
    {unary<hostSin>, "float sin(float);"},
    {unary<hostSinh>, "float sinh(float);"},
    {unary<hostSqrt>, "float sqrt(float);"},
    {unary<hostTan>, "float tan(float);"},
    {unary<hostTanh>, "float tanh(float);"},
    {nullptr, nullptr}};

void mathSetup(EngineState *state)
{
    for (size_t i = 0; i < sizeof constants / sizeof constants[0]; i++)
        defineGlobalValue(state, nullptr, constantNames[i], &state->doubleType, &constants[i], false);
}
