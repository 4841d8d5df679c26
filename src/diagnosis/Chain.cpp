#include "diagnosis/Chain.h"

#include "diagnosis/Steps.h"
#include "facts/Facts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

Chain::Chain()
{
    std::vector<std::pair<int, Fit>> ranked;
    for (const StepRow &row : StepRows()) {
        steps_.push_back(row.make());
        for (std::size_t round = 0; round < row.fitRanks.size(); ++round)
            ranked.push_back({row.fitRanks[round], {steps_.back().get(), int(round)}});
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &[rank, fit] : ranked)
        fitOrder_.push_back(fit);
    joinAll();
}

Chain::Chain(const Known &known)
    : Chain()
{
    for (const auto &step : steps_)
        step->take(known);
    joinAll();
}

Chain::Chain(const Chain &other)
{
    *this = other;
}

Chain &Chain::operator=(const Chain &other)
{
    if (this == &other)
        return *this;
    steps_.clear();
    fitOrder_.clear();
    for (const auto &step : other.steps_)
        steps_.push_back(step->clone());
    for (const Fit &fit : other.fitOrder_)
        fitOrder_.push_back({steps_[other.indexOf(*fit.step)].get(), fit.round});
    joinAll();
    return *this;
}

Chain::~Chain() = default;

void Chain::joinAll()
{
    for (const auto &step : steps_)
        step->join(*this);
}

std::unique_ptr<Step> Chain::reset(std::size_t index)
{
    return put(index, StepRows()[index].make());
}

std::unique_ptr<Step> Chain::put(std::size_t index, std::unique_ptr<Step> step)
{
    for (Fit &fit : fitOrder_)
        if (fit.step == steps_[index].get())
            fit.step = step.get();
    std::unique_ptr<Step> was = std::exchange(steps_[index], std::move(step));
    joinAll();
    return was;
}

std::size_t Chain::indexOf(const Step &step) const
{
    for (std::size_t i = 0; i < steps_.size(); ++i)
        if (steps_[i].get() == &step)
            return i;
    return steps_.size();
}

Step *Chain::named(const char *name) const
{
    for (const auto &step : steps_)
        if (std::strcmp(step->name(), name) == 0)
            return step.get();
    return nullptr;
}

bool Chain::runs(std::size_t index) const
{
    if (steps_[index]->acts())
        return true;
    const Step &step = *steps_[index];
    if (step.takes() == step.gives())
        return false;
    // A step that brings the values into another domain runs when a step in
    // that domain acts before the values are brought back.
    const Domain inside = step.gives() != Domain::Signal ? step.gives() : step.takes();
    const bool opens = step.gives() == inside;
    const auto actsInside = [&](std::size_t i) { return steps_[i]->takes() == inside && steps_[i]->acts(); };
    if (opens) {
        for (std::size_t i = index + 1; i < steps_.size() && steps_[i]->takes() == inside; ++i)
            if (actsInside(i))
                return true;
    } else {
        for (std::size_t i = index; i-- > 0 && steps_[i]->gives() == inside;)
            if (actsInside(i))
                return true;
    }
    return false;
}

void Chain::simulate(Planes &planes, std::size_t from, std::size_t to) const
{
    for (std::size_t i = from; i < std::min(to, steps_.size()); ++i) {
        if (!runs(i) || steps_[i]->takes() != planes.domain)
            continue;
        steps_[i]->apply(planes);
        planes.domain = steps_[i]->gives();
    }
}

QImage Chain::simulate(const QImage &sheet) const
{
    const int w = sheet.width(), h = sheet.height();
    Planes planes(w, h, Domain::Signal);
    for (int y = 0; y < h; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(sheet.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
            planes.plane[0][i] = float(qRed(row[x]) / 255.0);
            planes.plane[1][i] = float(qGreen(row[x]) / 255.0);
            planes.plane[2][i] = float(qBlue(row[x]) / 255.0);
        }
    }
    simulate(planes, 0, steps_.size());
    QImage out(w, h, QImage::Format_RGB32);
    if (out.isNull())
        throw std::bad_alloc();
    const auto level = [](float v) { return std::clamp(int(std::lround(double(v) * 255.0)), 0, 255); };
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
            row[x] = qRgb(level(planes.plane[0][i]), level(planes.plane[1][i]), level(planes.plane[2][i]));
        }
    }
    return out;
}

void Chain::apply(Swatch &colour, std::size_t from, std::size_t to) const
{
    for (std::size_t i = from; i < std::min(to, steps_.size()); ++i)
        if (runs(i))
            steps_[i]->apply(colour);
}

void Chain::apply(std::vector<Swatch> &colours, std::size_t from, std::size_t to) const
{
    for (std::size_t i = from; i < std::min(to, steps_.size()); ++i)
        if (runs(i))
            for (Swatch &colour : colours)
                steps_[i]->apply(colour);
}

void Chain::undo(Swatch &colour, std::size_t from) const
{
    for (std::size_t i = steps_.size(); i-- > from;)
        if (runs(i))
            steps_[i]->undo(colour);
}

std::size_t Chain::curveIndex() const
{
    for (std::size_t i = 0; i < steps_.size(); ++i)
        if (steps_[i]->explainsTheRest())
            return i;
    return steps_.size();
}

int Chain::sourceOf(std::size_t index, int channel) const
{
    for (std::size_t i = std::min(index, steps_.size()); i-- > 0;)
        if (runs(i))
            channel = steps_[i]->sourceOf(channel);
    return channel;
}

void Chain::report(Facts &facts) const
{
    for (const auto &step : steps_)
        if (step->acts())
            step->report(facts);
}

LutTable Chain::fix(int points) const
{
    LutTable table;
    for (auto &axis : table.axes)
        axis = LutAxis::Even(points);
    table.nodes.resize(std::size_t(points) * std::size_t(points) * std::size_t(points) * 3);
    std::size_t node = 0;
    for (int b = 0; b < points; ++b)
        for (int g = 0; g < points; ++g)
            for (int r = 0; r < points; ++r) {
                const double top = points - 1;
                Swatch colour = Swatch::Of({r / top, g / top, b / top});
                undo(colour, 0);
                for (double v : colour.value)
                    table.nodes[node++] = float(v);
            }
    return table;
}
