#pragma once

#include "platform/FileReferenceURL.h"

#include <QUrl>

#include <memory>

// The flags of file events, the kernel's vnode event bits.
enum BRFileEventFlag : unsigned long {
    BRFileEventDelete = 0x1,
    BRFileEventWrite = 0x2,
    BRFileEventExtend = 0x4,
    BRFileEventAttrib = 0x8,
    BRFileEventLink = 0x10,
    BRFileEventRename = 0x20,
    BRFileEventRevoke = 0x40,
};
constexpr unsigned long BRFileEventAll = 0x7f;

using BRFileReferenceURL = std::shared_ptr<platform::FileReferenceURL>;

// Told of the events of a watched item. Every operation is optional (the
// default does nothing). Items are named by their file reference URL; paths
// are file path URLs as they were or are at the time of the event.
class BRFileObserver {
public:
    virtual ~BRFileObserver() = default;

    // Every event, with all its flags.
    virtual void didChangeWithFlags(unsigned long flags, const BRFileReferenceURL& url);
    // The item's event source was closed: no more events come.
    virtual void didInvalidateObservationOfFileAtURL(const BRFileReferenceURL& url);
    virtual void didDeleteFileAtURL(const BRFileReferenceURL& url, const QUrl& oldFilePathURL);
    virtual void didWriteToFileAtURL(const BRFileReferenceURL& url);
    virtual void didExtendFileAtURL(const BRFileReferenceURL& url);
    virtual void didChangeAttributesOfFileAtURL(const BRFileReferenceURL& url);
    virtual void didChangeLinkCountOfFileAtURL(const BRFileReferenceURL& url);
    virtual void didMoveFileAtURL(const BRFileReferenceURL& url, const QUrl& fromFilePathURL,
                                  const QUrl& toFilePathURL);
    virtual void didRevokeFileAtURL(const BRFileReferenceURL& url);
};
