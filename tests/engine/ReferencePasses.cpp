#include "ReferencePasses.h"

#include <cmath>
#include <stdexcept>

namespace gridmint::test {

namespace {

enum Kind { Free, LighterSide, FarSide };
enum StepKind { NoStep, TowardStep, AwayStep };
enum Shape { Nothing, StartWedge, EndWedge, Bulge, Notch };

struct Plan {
    Shape shape = Nothing;
    int paintLen = 0;
    int markLen = 0;
};

Plan outcome(Kind kind, StepKind step, int len, int count)
{
    if (step == TowardStep)
        return {kind == LighterSide ? Bulge : StartWedge, len, len};
    if (step == AwayStep)
        return {kind == FarSide ? Notch : EndWedge, len, len};
    if (kind == LighterSide)
        return {EndWedge, count, count};
    if (kind == FarSide)
        return count >= 2 ? Plan{StartWedge, count, count} : Plan{Nothing, 0, 1};
    return {};
}

// Depths as the shapes are described, the far-side variant included.
std::vector<int> depths(Shape shape, bool farSide, int f, int len)
{
    std::vector<int> w;
    const int lines = f * len;
    if (shape == StartWedge) {
        for (int r = 0; r < lines; ++r)
            w.push_back(f - 1 - r / len);
    } else if (shape == EndWedge) {
        for (int r = 0; r < lines; ++r)
            w.push_back(r / len);
    } else if (!farSide) {
        int counter = len / 2;
        int depth = shape == Bulge ? 0 : f - 1;
        const int h = lines / 2;
        for (int r = 0; r < lines; ++r) {
            w.push_back(depth);
            counter += 1;
            if (counter == len) {
                counter = 0;
                if (shape == Bulge)
                    depth += r < h ? 1 : -1;
                else
                    depth += r < h ? -1 : 1;
            }
        }
    } else {
        int counter = len / 2;
        int depth = shape == Bulge ? 0 : f;
        const int h = lines / 2;
        for (int r = 0; r < lines; ++r) {
            w.push_back(depth);
            counter += 1;
            if (r < h) {
                if (counter == len && r != h - 1) {
                    counter = 0;
                    depth += shape == Bulge ? 1 : -1;
                }
            } else if (counter >= len) {
                counter = 0;
                depth += shape == Bulge ? -1 : 1;
            }
        }
    }
    return w;
}

struct Ref {
    const ReferenceInput& in;
    int W, H, f;
    std::vector<LabColor> lab;
    ReferenceResult res;

    explicit Ref(const ReferenceInput& input)
        : in(input), W(input.width), H(input.height), f(input.factor)
    {
        for (Colour c : in.palette)
            lab.push_back(toLab((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
        if (in.transparent >= 0 && in.transparent < static_cast<int>(lab.size()))
            lab[static_cast<std::size_t>(in.transparent)] = {-1000000, 250000, 250000};
        res.output.assign(static_cast<std::size_t>(W * f * H * f), 0);
        res.marks.assign(static_cast<std::size_t>(W * H), 0);
        for (int Y = 0; Y < H * f; ++Y)
            for (int X = 0; X < W * f; ++X)
                out(X, Y) = px(X / f, Y / f);
    }

    int px(int x, int y) const { return in.pixels[static_cast<std::size_t>(y * W + x)]; }
    std::uint8_t& out(int X, int Y) { return res.output[static_cast<std::size_t>(Y * W * f + X)]; }
    bool inPalette(int i) const { return i < static_cast<int>(lab.size()); }
    bool similar(int i, int j) const
    {
        if (!inPalette(i) || !inPalette(j))
            return i == j;
        const LabColor& p = lab[static_cast<std::size_t>(i)];
        const LabColor& q = lab[static_cast<std::size_t>(j)];
        return std::sqrt((p.a - q.a) * (p.a - q.a) + (p.b - q.b) * (p.b - q.b)) <= in.threshold;
    }
    // L[i] > L[j]
    bool lighter(int i, int j) const
    {
        return inPalette(i) && inPalette(j) &&
               lab[static_cast<std::size_t>(i)].L > lab[static_cast<std::size_t>(j)].L;
    }
    std::uint8_t& mark(int x, int y)
    {
        if (x < 0 || x >= W || y < 0 || y >= H)
            throw std::out_of_range("Out of Index");
        return res.marks[static_cast<std::size_t>(y * W + x)];
    }

    void note(bool exact, Kind kind, const Plan& plan, bool farSide)
    {
        ReferenceCoverage& c = res.coverage;
        c.similarModeRuns += exact ? 0 : 1;
        c.lighterSideStarts += kind == LighterSide ? 1 : 0;
        c.farSideStarts += kind == FarSide ? 1 : 0;
        c.bulges += plan.shape == Bulge ? 1 : 0;
        c.notches += plan.shape == Notch ? 1 : 0;
        if (plan.shape == Notch && farSide) {
            for (int w : depths(Notch, true, f, plan.paintLen))
                c.notchesIntoNextBlock += w > f ? 1 : 0;
        }
    }

    void leftPass();
    void rightPass();
    void topPass();
    void bottomPass();
};

void Ref::leftPass()
{
    for (int y = 0; y < H; ++y) {
        for (int x = 1; x < W; ++x) {
            if (mark(x, y) & 0x08)
                continue;
            const int c = px(x, y);
            const int n = px(x - 1, y);
            if (n == c || !lighter(n, c))
                continue;
            const bool exact = similar(c, n);
            auto matches = [&](int ref, int v) { return exact ? v == c : similar(ref, v); };
            auto differs = [&](int ref, int v) { return exact ? v != c : !similar(ref, v); };
            Kind kind = Free;
            if (y != 0) {
                if (matches(c, px(x - 1, y - 1)))
                    kind = LighterSide;
                else if (x + 1 < W && differs(c, px(x, y - 1)) &&
                         (matches(c, px(x + 1, y - 1)) || matches(c, px(x + 1, y))))
                    kind = FarSide;
            }
            if (y + 1 >= H)
                continue;
            int cref = c, nref = n, count = 0, len = 0;
            StepKind step = NoStep;
            for (int k = 1;; ++k) {
                const int q = px(x, y + k);
                const int i = px(x - 1, y + k);
                count = k;
                if (x + 1 < W && differs(cref, q) && matches(cref, px(x + 1, y + k))) {
                    step = AwayStep;
                    len = k;
                    break;
                }
                if (matches(cref, i)) {
                    step = TowardStep;
                    len = k;
                    break;
                }
                if (differs(cref, q))
                    break;
                if (!exact && !similar(nref, i))
                    break;
                if (lighter(c, i))
                    break;
                if (!exact) {
                    cref = q;
                    nref = i;
                }
                if (y + k + 1 >= H)
                    break;
            }
            const Plan plan = outcome(kind, step, len, count);
            note(exact, kind, plan, false);
            for (int k = 0; k < plan.markLen; ++k)
                mark(x, y + k) |= 0x08;
            if (plan.shape == Nothing)
                continue;
            const auto w = depths(plan.shape, false, f, plan.paintLen);
            for (int r = 0; r < f * plan.paintLen; ++r)
                for (int d = 0; d < w[static_cast<std::size_t>(r)]; ++d)
                    out(f * x + d, f * y + r) = static_cast<std::uint8_t>(px(x - 1, y + r / f));
        }
    }
}

void Ref::rightPass()
{
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W - 1; ++x) {
            if (mark(x, y) & 0x02)
                continue;
            const int c = px(x, y);
            const int n = px(x + 1, y);
            if (n == c || !lighter(n, c))
                continue;
            const bool exact = similar(c, n);
            auto matches = [&](int ref, int v) { return exact ? v == c : similar(ref, v); };
            auto differs = [&](int ref, int v) { return exact ? v != c : !similar(ref, v); };
            Kind kind = Free;
            if (y >= 1) {
                if (matches(c, px(x + 1, y - 1)))
                    kind = LighterSide;
                else if (x >= 1 && differs(c, px(x, y - 1)) &&
                         (matches(c, px(x - 1, y - 1)) || matches(c, px(x - 1, y))))
                    kind = FarSide;
            }
            if (y + 1 >= H)
                continue;
            int cref = c, nref = n, count = 0, len = 0;
            StepKind step = NoStep;
            for (int k = 1;; ++k) {
                const int q = px(x, y + k);
                const int i = px(x + 1, y + k);
                count = k;
                if (x >= 1 && differs(cref, q) && matches(cref, px(x - 1, y + k))) {
                    step = AwayStep;
                    len = k;
                    break;
                }
                if (matches(cref, i)) {
                    step = TowardStep;
                    len = k;
                    break;
                }
                if (differs(cref, q))
                    break;
                if (!exact && !similar(nref, i))
                    break;
                if (lighter(c, i))
                    break;
                if (!exact) {
                    cref = q;
                    nref = i;
                }
                if (y + k + 1 >= H)
                    break;
            }
            const Plan plan = outcome(kind, step, len, count);
            note(exact, kind, plan, true);
            for (int k = 0; k < plan.markLen; ++k)
                mark(x, y + k) |= 0x02;
            if (plan.shape == Nothing)
                continue;
            const auto w = depths(plan.shape, true, f, plan.paintLen);
            for (int r = 0; r < f * plan.paintLen; ++r)
                for (int d = 0; d < w[static_cast<std::size_t>(r)]; ++d)
                    out(f * (x + 1) - 1 - d, f * y + r) =
                        static_cast<std::uint8_t>(px(x + 1, y + r / f));
        }
    }
}

void Ref::topPass()
{
    for (int y = 1; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            if (mark(x, y) & 0x04)
                continue;
            const int c = px(x, y);
            const int n = px(x, y - 1);
            if (n == c || !lighter(n, c))
                continue;
            const bool exact = similar(c, n);
            auto matches = [&](int ref, int v) { return exact ? v == c : similar(ref, v); };
            auto differs = [&](int ref, int v) { return exact ? v != c : !similar(ref, v); };
            Kind kind = Free;
            if (x >= 1) {
                if (matches(c, px(x - 1, y - 1)))
                    kind = LighterSide;
                else if (y + 1 < H && differs(c, px(x - 1, y)) &&
                         (matches(c, px(x - 1, y + 1)) || matches(c, px(x, y + 1))))
                    kind = FarSide;
            }
            if (x + 1 >= W)
                continue;
            int cref = c, nref = n, count = 0, len = 0;
            StepKind step = NoStep;
            for (int k = 1;; ++k) {
                const int q = px(x + k, y);
                const int i = px(x + k, y - 1);
                count = k;
                if (y + 1 < H && differs(cref, q) && matches(cref, px(x + k, y + 1))) {
                    step = AwayStep;
                    len = k;
                    break;
                }
                if (matches(cref, i)) {
                    step = TowardStep;
                    len = k;
                    break;
                }
                if (differs(cref, q))
                    break;
                if (!exact && !similar(nref, i))
                    break;
                if (lighter(c, i))
                    break;
                if (!exact) {
                    cref = q;
                    nref = i;
                }
                if (x + k + 1 >= W)
                    break;
            }
            const Plan plan = outcome(kind, step, len, count);
            note(exact, kind, plan, false);
            for (int k = 0; k < plan.markLen; ++k)
                mark(x + k, y) |= 0x04;
            if (plan.shape == Nothing)
                continue;
            const auto w = depths(plan.shape, false, f, plan.paintLen);
            for (int r = 0; r < f * plan.paintLen; ++r)
                for (int d = 0; d < w[static_cast<std::size_t>(r)]; ++d)
                    out(f * x + r, f * y + d) = static_cast<std::uint8_t>(px(x + r / f, y - 1));
        }
    }
}

void Ref::bottomPass()
{
    for (int y = 0; y < H - 1; ++y) {
        for (int x = 0; x < W; ++x) {
            if (mark(x, y) & 0x01)
                continue;
            const int c = px(x, y);
            const int n = px(x, y + 1);
            if (n == c || !lighter(n, c))
                continue;
            const bool exact = similar(c, n);
            auto matches = [&](int ref, int v) { return exact ? v == c : similar(ref, v); };
            auto differs = [&](int ref, int v) { return exact ? v != c : !similar(ref, v); };
            Kind kind = Free;
            if (x >= 1) {
                if (matches(c, px(x - 1, y + 1)))
                    kind = LighterSide;
                else if (y >= 1 && differs(c, px(x - 1, y)) &&
                         (matches(c, px(x, y - 1)) || matches(c, px(x - 1, y - 1))))
                    kind = FarSide;
            }
            if (x + 1 >= W)
                continue;
            int cref = c, nref = n, count = 0, len = 0;
            StepKind step = NoStep;
            for (int k = 1;; ++k) {
                const int q = px(x + k, y);
                const int i = px(x + k, y + 1);
                count = k;
                if (y >= 1 && differs(cref, q) && matches(cref, px(x + k, y - 1))) {
                    step = AwayStep;
                    len = k;
                    break;
                }
                if (matches(cref, i)) {
                    step = TowardStep;
                    len = k;
                    break;
                }
                if (differs(cref, q))
                    break;
                if (!exact && !similar(nref, i))
                    break;
                if (lighter(c, i))
                    break;
                if (!exact) {
                    cref = q;
                    nref = i;
                }
                if (x + k + 1 >= W)
                    break;
            }
            const Plan plan = outcome(kind, step, len, count);
            note(exact, kind, plan, true);
            for (int k = 0; k < plan.markLen; ++k)
                mark(x + k, y) |= 0x01;
            if (plan.shape == Nothing)
                continue;
            const auto w = depths(plan.shape, true, f, plan.paintLen);
            for (int r = 0; r < f * plan.paintLen; ++r)
                for (int d = 0; d < w[static_cast<std::size_t>(r)]; ++d)
                    out(f * x + r, f * (y + 1) - 1 - d) =
                        static_cast<std::uint8_t>(px(x + r / f, y + 1));
        }
    }
}

} // namespace

ReferenceResult referenceRun(const ReferenceInput& in)
{
    Ref ref(in);
    ref.leftPass();
    ref.rightPass();
    ref.topPass();
    ref.bottomPass();
    return ref.res;
}

} // namespace gridmint::test
