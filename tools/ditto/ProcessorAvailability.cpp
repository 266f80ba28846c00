#include "ProcessorAvailability.h"

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

// Below this many clock ticks (summed over all processors) the idle share says little.
constexpr unsigned long long kShortestMeasure = 20;
// Idle processors on average, over the measured stretch, that make a second thread worth it.
constexpr double kSpareThreshold = 0.25;

} // namespace

ProcessorAvailability::ProcessorAvailability() : processors_(::sysconf(_SC_NPROCESSORS_ONLN)) {
    measured_ = readTimes(&start_);
}

bool ProcessorAvailability::readTimes(Times* times) {
    FILE* stat = std::fopen("/proc/stat", "re");
    if (!stat) {
        return false;
    }
    unsigned long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    const int fields = std::fscanf(stat, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &user, &nice, &system,
                                   &idle, &iowait, &irq, &softirq, &steal);
    std::fclose(stat);
    if (fields < 4) {
        return false;
    }
    times->idle = idle + iowait;
    times->total = user + nice + system + idle + iowait + irq + softirq + steal;
    return true;
}

bool ProcessorAvailability::hasSpareProcessor() const {
    if (processors_ < 2) {
        return false;
    }
    Times now;
    if (measured_ && readTimes(&now) && now.total - start_.total >= kShortestMeasure) {
        const double idleShare =
            static_cast<double>(now.idle - start_.idle) / static_cast<double>(now.total - start_.total);
        return idleShare * static_cast<double>(processors_) >= kSpareThreshold;
    }
    double load = 0;
    return ::getloadavg(&load, 1) == 1 && load <= static_cast<double>(processors_) - 1;
}
