#include "BRFileObserver.h"

void BRFileObserver::didChangeWithFlags(unsigned long, const BRFileReferenceURL&) {}
void BRFileObserver::didInvalidateObservationOfFileAtURL(const BRFileReferenceURL&) {}
void BRFileObserver::didDeleteFileAtURL(const BRFileReferenceURL&, const QUrl&) {}
void BRFileObserver::didWriteToFileAtURL(const BRFileReferenceURL&) {}
void BRFileObserver::didExtendFileAtURL(const BRFileReferenceURL&) {}
void BRFileObserver::didChangeAttributesOfFileAtURL(const BRFileReferenceURL&) {}
void BRFileObserver::didChangeLinkCountOfFileAtURL(const BRFileReferenceURL&) {}
void BRFileObserver::didMoveFileAtURL(const BRFileReferenceURL&, const QUrl&, const QUrl&) {}
void BRFileObserver::didRevokeFileAtURL(const BRFileReferenceURL&) {}
