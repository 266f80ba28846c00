#pragma once

// Whether a second thread would find a processor of its own. Writing files
// on a thread of their own overlaps with inflating, but handing the data over
// costs a copy: on a machine whose processors are all busy that copy is all
// the second thread brings. The machine's idle time is measured over the
// stretch between construction and the question (spooling the archive), or,
// when that was too short to tell, judged from the load average.
class ProcessorAvailability {
public:
    ProcessorAvailability();

    bool hasSpareProcessor() const;

private:
    struct Times {
        unsigned long long idle = 0;
        unsigned long long total = 0;
    };
    static bool readTimes(Times* times);

    long processors_;
    bool measured_ = false;
    Times start_;
};
