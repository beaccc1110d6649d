#pragma once

#include "engine/AzwEpubEng.h"

#include <QStringList>

#include <functional>
#include <mutex>
#include <vector>

// An engine whose Convert the test writes, and a callback that records what
// the engine reports.
class FakeEng : public AzwEpubEng {
public:
    using ConvertFunction = std::function<bool(FakeEng&, const QString&, const QString&)>;

    ~FakeEng() override { StopAndWait(); }

    bool Convert(const QString& source, const QString& target) override
    {
        {
            std::lock_guard lock(mutex);
            converted.push_back(source);
        }
        return convert ? convert(*this, source, target) : true;
    }
    void OnToolOutput(const QByteArray& text) override
    {
        std::lock_guard lock(mutex);
        toolOutput += text;
    }

    // Exposes the protected setter to the test's Convert.
    void Fail(const QString& reason) { SetFailureReason(reason); }

    ConvertFunction convert;
    std::mutex mutex;
    QStringList converted;
    QByteArray toolOutput;
};

struct Event {
    int kind;
    int index;
    int value;
    bool operator==(const Event&) const = default;
};

struct Recorder {
    std::mutex mutex;
    std::vector<Event> events;
    int overwriteReply = 0;

    static int Callback(void* data, int kind, int index, int value)
    {
        auto* self = static_cast<Recorder*>(data);
        std::lock_guard lock(self->mutex);
        self->events.push_back({kind, index, value});
        return kind == 1 ? self->overwriteReply : 0;
    }
    std::vector<Event> Events()
    {
        std::lock_guard lock(mutex);
        return events;
    }
};
