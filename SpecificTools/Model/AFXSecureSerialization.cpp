#include "AFXSecureSerialization.h"

#include "AFXCustomer.h"
#include "AFXEnvironment.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "support/BRAssertions.h"

#include <array>
#include <utility>

#include <openssl/evp.h>

namespace {

using Assignment = std::array<std::pair<int, char>, 44>;

// The keys are not kept as text in the program: each is assembled at run
// time from these position → character assignments, Base64-encoded, and the
// first 32 bytes of the encoding are the key. Both ends of the notification
// channel are built from this one table.
constexpr Assignment kEnvironmentKeyText = {{
    {40, 'o'}, {0, 'u'},  {43, '2'}, {31, 'O'}, {41, 'c'}, {5, 'd'},  {28, 'h'}, {38, 'z'}, {16, 'c'},
    {25, 'd'}, {24, 'B'}, {27, 'K'}, {32, 'O'}, {30, 'o'}, {4, 'P'},  {39, 'd'}, {20, 'e'}, {14, 'G'},
    {10, 'x'}, {13, '6'}, {29, '8'}, {21, 'p'}, {15, 'n'}, {33, 'L'}, {37, 'L'}, {1, '8'},  {42, 'J'},
    {2, 'j'},  {22, 'f'}, {17, 'f'}, {3, 'z'},  {23, 'J'}, {12, 'd'}, {6, 'e'},  {11, 'L'}, {35, 'd'},
    {19, 'A'}, {36, 'K'}, {7, '0'},  {34, '8'}, {9, 'g'},  {26, '0'}, {18, 'B'}, {8, 'I'},
}};

constexpr Assignment kCustomerKeyText = {{
    {26, 'L'}, {36, 'Q'}, {37, 'e'}, {19, '0'}, {20, 'u'}, {0, 'h'},  {38, 'd'}, {32, '8'}, {35, 'S'},
    {21, 'v'}, {6, 'j'},  {11, '9'}, {16, 'K'}, {41, 't'}, {27, 'Z'}, {33, 'r'}, {42, 'P'}, {8, 'F'},
    {17, 'Y'}, {30, '1'}, {14, 'W'}, {5, 'v'},  {2, 'A'},  {15, 'J'}, {25, 'F'}, {12, 'Q'}, {34, 'E'},
    {23, 'w'}, {4, 'W'},  {9, 'A'},  {40, 'S'}, {13, 'e'}, {3, 'k'},  {31, 'f'}, {7, '7'},  {10, 'c'},
    {39, 'U'}, {29, 'e'}, {1, 'G'},  {22, 'S'}, {24, 'M'}, {18, '4'}, {28, 'D'}, {43, 'K'},
}};

QByteArray keyFromAssignment(const Assignment& assignment) {
    QByteArray text(static_cast<qsizetype>(assignment.size()), '\0');
    for (const auto& [position, character] : assignment) {
        text[position] = character;
    }
    return text.toBase64().left(32);
}

constexpr int kBlockSize = 16;

struct CipherContext {
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    ~CipherContext() { EVP_CIPHER_CTX_free(context); }
    CipherContext() = default;
    CipherContext(const CipherContext&) = delete;
    CipherContext& operator=(const CipherContext&) = delete;
};

template <typename T> std::shared_ptr<T> readRecord(const QByteArray& data, const QByteArray& key) {
    const auto archive = AFXSecureSerializationDecrypt(data, key);
    if (!archive) {
        return nullptr;
    }
    return platform::KeyedUnarchiver::unarchivedObjectOfClass<T>(*archive);
}

QByteArray writeRecord(const std::shared_ptr<platform::Object>& record, const QByteArray& key) {
    platform::Error error(QString(), 0);
    const auto archive = platform::KeyedArchiver::archivedDataWithRootObject(record, &error);
    if (!archive) {
        BRHandleAssertionFailure(
            QStringLiteral("Cannot archive %1: %2")
                .arg(record ? record->className() : QStringLiteral("nothing"), error.localizedDescription()));
    }
    return AFXSecureSerializationEncrypt(*archive, key);
}

} // namespace

QByteArray AFXEnvironmentSecureSerializationKey() {
    static const QByteArray key = keyFromAssignment(kEnvironmentKeyText);
    return key;
}

QByteArray AFXCustomerSecureSerializationKey() {
    static const QByteArray key = keyFromAssignment(kCustomerKeyText);
    return key;
}

namespace {

// AES-256-CBC with PKCS#7 padding and an all-zero IV, one way or the other,
// into a buffer one block longer than the input, trimmed to what was written.
std::optional<QByteArray> runCipher(const QByteArray& input, const QByteArray& key, bool encrypt) {
    const unsigned char iv[kBlockSize] = {};
    QByteArray output(input.size() + kBlockSize, '\0');
    auto* out = reinterpret_cast<unsigned char*>(output.data());
    int written = 0;
    int finalWritten = 0;
    CipherContext cipher;
    const bool done = cipher.context &&
                      EVP_CipherInit_ex(cipher.context, EVP_aes_256_cbc(), nullptr,
                                        reinterpret_cast<const unsigned char*>(key.constData()), iv,
                                        encrypt ? 1 : 0) == 1 &&
                      EVP_CipherUpdate(cipher.context, out, &written,
                                       reinterpret_cast<const unsigned char*>(input.constData()),
                                       static_cast<int>(input.size())) == 1 &&
                      EVP_CipherFinal_ex(cipher.context, out + written, &finalWritten) == 1;
    if (!done) {
        return std::nullopt;
    }
    output.truncate(written + finalWritten);
    return output;
}

} // namespace

QByteArray AFXSecureSerializationEncrypt(const QByteArray& plain, const QByteArray& key) {
    BRParameterAssert(key.size() == 32);
    const auto encrypted = runCipher(plain, key, true);
    if (!encrypted) {
        BRHandleAssertionFailure(QStringLiteral("Encryption of a notification payload failed"));
    }
    return *encrypted;
}

std::optional<QByteArray> AFXSecureSerializationDecrypt(const QByteArray& encrypted, const QByteArray& key) {
    if (key.size() != 32 || encrypted.isEmpty() || encrypted.size() % kBlockSize != 0) {
        return std::nullopt;
    }
    return runCipher(encrypted, key, false);
}

QByteArray AFXEnvironmentGetSecureSerialization(const std::shared_ptr<AFXEnvironment>& environment) {
    return writeRecord(environment, AFXEnvironmentSecureSerializationKey());
}

std::shared_ptr<AFXEnvironment> AFXEnvironmentMakeFromSecureSerialization(const QByteArray& data) {
    return readRecord<AFXEnvironment>(data, AFXEnvironmentSecureSerializationKey());
}

QByteArray AFXCustomerGetSecureSerialization(const std::shared_ptr<AFXCustomer>& customer) {
    return writeRecord(customer, AFXCustomerSecureSerializationKey());
}

std::shared_ptr<AFXCustomer> AFXCustomerMakeFromSecureSerialization(const QByteArray& data) {
    return readRecord<AFXCustomer>(data, AFXCustomerSecureSerializationKey());
}
