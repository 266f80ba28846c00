#pragma once

#include "platform/Error.h"

#include <QUrl>

#include <cstdint>
#include <optional>

class AFXDownloaderWorkflow;

// What a download workflow tells its owner. Every method is optional.
class AFXDownloaderDelegate {
public:
    virtual ~AFXDownloaderDelegate() = default;

    // Data arrived while the progress was exactly 0.
    virtual void downloaderDidStarted(AFXDownloaderWorkflow&) {}
    virtual void downloaderDidUpdateDownloadingProgress(AFXDownloaderWorkflow&, double) {}
    // The archive is complete at a temporary location.
    virtual void downloaderDidFinishDownloadingToURL(AFXDownloaderWorkflow&, const QUrl&) {}
    // The client bundle is unpacked in the applications folder; the URL is the bundle's.
    virtual void downloaderDidFinishUnarchivingToURL(AFXDownloaderWorkflow&, const QUrl&) {}
    // Declared for a restarted transfer; the workflow itself never sends it.
    virtual void downloaderWillRestartDownloading(AFXDownloaderWorkflow&, std::uint64_t) {}
    // The transfer, the unpacking or the check failed. The error can be
    // absent when nothing more precise is known.
    virtual void downloaderDidFailWithError(AFXDownloaderWorkflow&, const std::optional<platform::Error>&) {}
};
