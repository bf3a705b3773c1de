#include <bit>
#include <complex>
#include <numbers>

#include "../conversions/TestSetup.h"
#include "conversions/Drivers.h"
#include "filters/Biquad.h"

using namespace dcdrive;
using namespace dctest;

namespace {

constexpr double kTwoTo31 = 2147483648.0;
constexpr double kTs = 0.001;  // "Ts_S" of the tests: 1 kHz sampling

// |H| at the normalized frequency f (cycles per sample).
double Gain(const BiquadCoefficients& c, double f) {
    const std::complex<double> z = std::polar(1.0, -2.0 * std::numbers::pi * f);  // z^-1
    return std::abs((c.b0 + c.b1 * z + c.b2 * z * z) / (1.0 + c.a1 * z + c.a2 * z * z));
}
double Warp(double f) { return std::tan(std::numbers::pi * f); }  // prewarped analogue frequency
double Value(const CKX_Setup& s, int slot, const char* field) {
    return ValueOf(s, ("BQ" + std::to_string(slot) + field).c_str());
}

// Filter n on (added when the setup lacks it), with its type, location, F1, Q and F2.
void Describe(CKX_Setup& setup, int n, std::vector<double> values) {
    values.insert(values.begin(), 1.0);
    std::string names;
    for (const char* name :
         {"BQFilter", "BQFilterType", "BQFilterLocation", "BQFilterF1", "BQFilterQ", "BQFilterF2"})
        names += name + std::to_string(n) + " ";
    Assign(setup, names, values);
}
std::unique_ptr<CKX_Setup> ChainSetup(int slots = 10) {
    auto setup = DefaultWith("Ts_S=0.001");  // kTs
    for (int s = 1; s <= slots; ++s)
        for (const char* f : {"B0", "B1", "B2", "A1", "A2", "SF"}) {
            const std::string name = "BQ" + std::to_string(s) + f;
            if (s > 10) setup->AddParameter(name);
            setup->SetParameterValueInBaseUnit(name.c_str(), 77);  // a leftover that clearing must remove
        }
    return setup;
}
BiquadCoefficients DecodeFixed(const CKX_Setup& s, int slot) {
    const double u = Value(s, slot, "SF") / kTwoTo31;
    return {Value(s, slot, "B0") * u, Value(s, slot, "B1") * u, Value(s, slot, "B2") * u,
            Value(s, slot, "A1") * u, Value(s, slot, "A2") * u};
}
std::vector<double> Counters(const CKX_Setup& s) {
    return {ValueOf(s, "SPDREF_BQ_INI"), ValueOf(s, "IQREF_BQ_INI"), ValueOf(s, "ASPD_BQ_INI")};
}

TEST(Biquad, DesignsHaveTheirFrequencyResponse) {
    const double db6 = std::pow(10.0, 0.3), lead = Warp(0.1) / Warp(0.01);
    const struct {
        int type;
        double f1, second, gainDb, at, gain;
    } cases[] = {
        {0, 0.1, 0, 0, 0.0, 1.0},         {0, 0.1, 0, 0, 0.1, std::sqrt(0.5)},  // low pass 1st
        {1, 0.05, 0.707, 0, 0.0, 1.0},    {1, 0.2, 5, 0, 0.2, 5.0},       // low pass 2nd: Q at the corner
        {2, 0.05, 2, 0, 0.0, 1.0},        {2, 0.05, 2, 0, 0.05, 0.0},     // notch
        {3, 0.1, 0.707, 0, 0.0, 0.0},     {3, 0.1, 0.707, 0, 0.5, 1.0},   // high pass
        {4, 0.1, 2, 0, 0.0, 0.0},         {4, 0.1, 2, 0, 0.1, 1.0},       // band pass
        {5, 0.1, 2, 6, 0.1, db6},         {5, 0.1, 2, -6, 0.1, 1 / db6},  // peak
        {6, 0.1, 0, -6, 0.0, 1 / db6},    {7, 0.1, 0, 6, 0.5, db6},       // low shelf cuts, high shelf
        {8, 0.01, 0.1, 0, 0.0, 1.0},      {8, 0.01, 0.1, 0, 0.5, lead},   // lead-lag 1st
        {8, 0.1, 0.01, 0, 0.5, 1 / lead}, {9, 0.01, 0.1, 0, 0.5, lead * lead},  // and 2nd
        {9, 0.01, 0.1, 0, 0.0, 1.0},
    };
    for (const auto& c : cases) {
        CBiquadFilter filter;
        ASSERT_TRUE(filter.ComputeCoefficients(c.type, c.f1, c.second, c.gainDb)) << c.type;
        EXPECT_NEAR(Gain(filter.GetCoefficients(), c.at), c.gain, 1e-9 * (1 + c.gain))
            << c.type << " at " << c.at;
    }
}

TEST(Biquad, UnusableDescriptionsKeepThePreviousDesign) {
    const struct {
        int type;
        double f1, second;
    } cases[] = {{10, 0.1, 0.7}, {-1, 0.1, 0.7},   {0, 0.0, 0.7}, {1, -0.1, 0.7},
                 {0, 0.5, 0.7},  {2, 0.7, 0.7},    {1, NAN, 0.7}, {1, 0.1, 0.0},
                 {2, 0.1, -1},   {4, 0.1, 1e-320}, {8, 0.1, 0.0}, {9, 0.1, 0.5}};
    for (const auto& c : cases) {
        CBiquadFilter filter;
        filter.SetCoefficients({0.1, 0.2, 0.3, 0.4, 0.5});
        EXPECT_FALSE(filter.ComputeCoefficients(c.type, c.f1, c.second, 0.0)) << c.type << " " << c.f1;
        EXPECT_EQ(filter.GetCoefficients().a2, 0.5) << c.type << " " << c.f1;
    }
    EXPECT_TRUE(CBiquadFilter().ComputeCoefficients(0, 0.1, 0.0, 0.0)) << "a 1st order has no Q";
}

TEST(Biquad, QuantizeChoosesThePowerOfTwoThatHoldsTheLargest) {
    const struct {
        double largest, sf, word;
    } cases[] = {{0.9, 1, 1932735283}, {1.0, 2, 1073741824}, {1.3, 2, 1395864371}, {3, 4, 1610612736},
                 {-3, 4, -1610612736}, {4.5, 8, 1207959552}, {2, 2, 2147483647},   {-2, 2, -2147483648.0}};
    for (const auto& c : cases) {
        CBiquadFilter filter;
        filter.SetCoefficients({0.25, c.largest, -0.125, 0.3, -0.6});
        filter.Quantize();
        EXPECT_EQ(filter.GetScaleFactor(), c.sf) << c.largest;
        EXPECT_EQ(filter.GetCoefficients().b1, c.word) << c.largest;
        EXPECT_NEAR(filter.GetCoefficients().a2 * c.sf / kTwoTo31, -0.6, c.sf / kTwoTo31) << c.largest;
    }
}

TEST(Biquad, ForwardDriverChainsFiltersByLocation) {
    auto setup = ChainSetup();
    Describe(*setup, 1, {0, 2, 100, 0.7, 0});  // speed feedback
    Describe(*setup, 2, {2, 0, 50, 2, 0});     // position controller output
    Describe(*setup, 3, {1, 1, 100, 0.7, 0});  // switched off below
    Describe(*setup, 4, {1, 3, 100, 0.7, 0});  // no such location
    Describe(*setup, 5, {1, 1, 600, 0.7, 0});  // above Nyquist
    Describe(*setup, 6, {2, 1, 80, 0, 0});     // Q 0
    Describe(*setup, 7, {8, 1, 20, 0.7, 0});   // lag at 0 Hz
    Describe(*setup, 8, {4, 1.9, 100, 3, 0});  // location 1.9 reads 1
    Describe(*setup, 9, {9, 1, 1, 0.7, 499});  // b0 near 1e5: scale factor 2^17 > the slot's 65535
    Force(*setup, "BQFilter3", 0);
    ParametersToRegisters(*setup);

    EXPECT_EQ(Counters(*setup), (std::vector<double>{1, 1, 1}));
    EXPECT_NEAR(Gain(DecodeFixed(*setup, 1), 50 * kTs), 0.0, 1e-6) << "the notch of filter 2";
    EXPECT_NEAR(Gain(DecodeFixed(*setup, 2), 100 * kTs), 1.0, 1e-6) << "the band pass of filter 8";
    EXPECT_NEAR(Gain(DecodeFixed(*setup, 3), 100 * kTs), std::sqrt(0.5), 1e-6) << "the low pass of filter 1";
    // The designed chain is what the driver wrote: filters by location, their words in their slots.
    const std::vector<BiquadChainSlot> chain = DesignBiquadChain(*setup);
    ASSERT_EQ(chain.size(), 3u);
    const int filters[] = {2, 8, 1};
    for (int i = 0; i < 3; ++i) {
        const BiquadChainSlot& s = chain[std::size_t(i)];
        const BiquadCoefficients& w = s.held.words;
        EXPECT_EQ((std::vector<int>{s.slot, s.filter, int(ToInt(s.location))}),
                  (std::vector<int>{i + 1, filters[i], i}));
        std::vector<double> written;
        for (const char* f : {"B0", "B1", "B2", "A1", "A2", "SF"})
            written.push_back(Value(*setup, s.slot, f));
        EXPECT_EQ(written, (std::vector<double>{w.b0, w.b1, w.b2, w.a1, w.a2, s.held.scaleFactor})) << s.slot;
    }
    for (int s = 4; s <= 10; ++s)
        for (const char* f : {"B0", "B1", "B2", "A1", "A2", "SF"})
            EXPECT_EQ(Value(*setup, s, f), 0) << s << f;
}

TEST(Biquad, FilterCountBoundsTheChain) {
    const struct {
        const char* maxFilters;
        double fastLoop;
        int written, count;
    } cases[] = {{"12", 0, 10, 12}, {"4", 0, 4, 4}, {"", 1, 0, 0}, {"99999999999", 0, 10, 12}};
    for (const auto& c : cases) {
        auto setup = ChainSetup(12);
        for (int i = 1; i <= 11; ++i) Describe(*setup, i, {1, 1, 10.0 * i, 0.7, 0});
        setup->SetOption("MaxFilters", c.maxFilters);
        Force(*setup, "PosSpd_in_FastLoop", c.fastLoop);
        Force(*setup, "IQREF_BQ_INI", 3);
        CBiquadFilter().WriteFilters(*setup);

        EXPECT_EQ(Counters(*setup), (std::vector<double>{0, double(c.written), 0})) << c.maxFilters;
        for (int s = 1; s <= 12; ++s) {
            const double expected = s <= c.written ? 2 : s <= c.count ? 0 : 77;
            EXPECT_EQ(Value(*setup, s, "SF"), expected) << c.maxFilters << " slot " << s;
        }
    }
}

TEST(Biquad, FixedPointSlotsKeepTheDesignAndUnityAtZeroHz) {
    const struct {
        std::vector<double> description;  // type, location, F1, Q, F2
        bool unity;
    } cases[] = {{{0, 1, 100, 0.7, 0}, true},    {{0, 1, 1, 0.7, 0}, true},    {{1, 1, 30, 0.707, 0}, true},
                 {{2, 1, 250, 5, 0}, true},      {{8, 1, 20, 0.7, 300}, true}, {{9, 1, 20, 0.7, 300}, true},
                 {{3, 1, 100, 0.707, 0}, false}, {{4, 1, 100, 3, 0}, false}};
    for (const auto& c : cases) {
        auto setup = ChainSetup();
        Describe(*setup, 1, c.description);
        CBiquadFilter().WriteFilters(*setup);
        const auto& d = c.description;
        const double numerator = Value(*setup, 1, "B0") + Value(*setup, 1, "B1") + Value(*setup, 1, "B2");
        if (c.unity)
            EXPECT_EQ(numerator - Value(*setup, 1, "A1") - Value(*setup, 1, "A2"),
                      kTwoTo31 / Value(*setup, 1, "SF"))
                << d[0];
        else
            EXPECT_LE(std::fabs(numerator), 2.0) << d[0] << ": 0 Hz stays blocked";

        CBiquadFilter design;
        ASSERT_TRUE(design.ComputeCoefficients(int(d[0]), d[2] * kTs, d[0] >= 8 ? d[4] * kTs : d[3], 0));
        for (const double f : {0.0, 0.01, d[2] * kTs, 0.5}) {
            const double g = Gain(design.GetCoefficients(), f);
            EXPECT_NEAR(Gain(DecodeFixed(*setup, 1), f), g, 1e-5 * (1 + g)) << d[0] << " at " << f;
        }
    }
}

TEST(Biquad, SinglePrecisionSlotsHoldTheBitPatterns) {
    auto setup = DefaultWith("Ts_S=0.001");  // kTs
    for (int s = 1; s <= 10; ++s) {
        for (const char* f : {"B0", "B1", "B2", "A1", "A2", "SF"})
            setup->RemoveParameter("BQ" + std::to_string(s) + f);
        for (const char* f : {"B0_F", "B1_F", "B2_F", "A1_F", "A2_F"})
            setup->AddParameter("BQ" + std::to_string(s) + f)->SetValueInBaseUnit(77);
    }
    Describe(*setup, 1, {3, 0, 250, 0.5, 0});  // high pass with b1 = -0.5
    Describe(*setup, 2, {8, 1, 50, 0.7, 50});  // zero on the pole: b0 = 1
    Describe(*setup, 3, {1, 2, 30, 0.707, 0});
    CBiquadFilter().WriteFilters(*setup);

    EXPECT_EQ(Counters(*setup), (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(Value(*setup, 1, "B1_F"), -1090519040.0);
    EXPECT_EQ(Value(*setup, 2, "B0_F"), 1065353216.0);
    float c[5];
    const char* fields[] = {"B0_F", "B1_F", "B2_F", "A1_F", "A2_F"};
    for (int i = 0; i < 5; ++i)
        c[i] = std::bit_cast<float>(static_cast<std::int32_t>(Value(*setup, 3, fields[i])));
    EXPECT_EQ(c[0] + c[1] + c[2] - c[3] - c[4], 1.0f);
    EXPECT_NEAR(Gain({c[0], c[1], c[2], c[3], c[4]}, 30 * kTs), 0.707, 1e-3);
    for (int s = 4; s <= 10; ++s) EXPECT_EQ(Value(*setup, s, "A1_F"), 0.0) << s;
    EXPECT_TRUE(std::isnan(Value(*setup, 1, "SF"))) << "no scale factor in this format";
}

TEST(Biquad, ResponseOfHeldCoefficients) {
    HeldBiquad unity;  // b0 = 2^30 words of 2 / 2^31: exactly 1
    unity.words = {1073741824, 0, 0, 0, 0};
    unity.scaleFactor = 2;
    HeldBiquad average;  // (1 + z^-1) / 2 in single precision
    average.fixedPoint = false;
    average.words = {0.5, 0.5, 0, 0, 0};
    HeldBiquad delay = average;  // z^-1 over (1 - 0.5 z^-1)
    delay.words = {0, 1, 0, -0.5, 0};
    const struct {
        const HeldBiquad* held;
        double f;
        std::complex<double> h;
    } cases[] = {{&unity, 0.3, 1.0},   {&average, 0.0, 1.0},
                 {&average, 0.5, 0.0}, {&average, 0.25, {0.5, -0.5}},
                 {&delay, 0.0, 2.0},   {&delay, 0.5, -1.0 / 1.5}};
    for (const auto& c : cases) {
        const std::complex<double> h = BiquadResponse(*c.held, c.f);
        EXPECT_NEAR(h.real(), c.h.real(), 1e-12) << c.f;
        EXPECT_NEAR(h.imag(), c.h.imag(), 1e-12) << c.f;
    }
    // The held words of a design keep its response within their resolution.
    CBiquadFilter design;
    ASSERT_TRUE(design.ComputeCoefficients(2, 0.05, 2, 0));
    const HeldBiquad held = QuantizeBiquad(design.GetCoefficients());
    for (const double f : {0.0, 0.01, 0.049, 0.2})
        EXPECT_NEAR(std::abs(BiquadResponse(held, f)), Gain(design.GetCoefficients(), f), 1e-7) << f;
}

}  // namespace
