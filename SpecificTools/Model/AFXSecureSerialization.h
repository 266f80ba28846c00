#pragma once

#include <QByteArray>

#include <memory>
#include <optional>

class AFXCustomer;
class AFXEnvironment;

// The encrypted payloads of the customer and environment change
// notifications: the record's keyed archive, encrypted with AES-256 in CBC
// mode, PKCS#7 padding and an all-zero initialisation vector, under a key of
// its own per kind. Reading gives none for anything that does not decrypt,
// unarchive and turn out to be a record of the expected class.

QByteArray AFXEnvironmentGetSecureSerialization(const std::shared_ptr<AFXEnvironment>& environment);
std::shared_ptr<AFXEnvironment> AFXEnvironmentMakeFromSecureSerialization(const QByteArray& data);
QByteArray AFXCustomerGetSecureSerialization(const std::shared_ptr<AFXCustomer>& customer);
std::shared_ptr<AFXCustomer> AFXCustomerMakeFromSecureSerialization(const QByteArray& data);

// The 32-byte keys (both ends of the channel use the same ones).
QByteArray AFXEnvironmentSecureSerializationKey();
QByteArray AFXCustomerSecureSerializationKey();

// The cipher under a 32-byte key. Encryption cannot fail for a valid key (a
// failure stops the process); decryption gives none for bytes that do not
// decrypt to correctly padded text.
QByteArray AFXSecureSerializationEncrypt(const QByteArray& plain, const QByteArray& key);
std::optional<QByteArray> AFXSecureSerializationDecrypt(const QByteArray& encrypted, const QByteArray& key);
