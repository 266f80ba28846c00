#pragma once

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Object.h"
#include "support/BRClassReflection.h"

#include <memory>

// The base of the framework's records: keyed secure coding of the fields
// the record's class declares in its reflection (each under its field name,
// decoded with only the listed classes allowed). Records of this base are
// immutable: a copy is the same object.
//
// A record class starts its body with AFX_DECLARE_MODEL_CLASS(ClassName),
// declares `static std::shared_ptr<BRClassReflection> makeReflection()`
// starting from its superclass's reflection, and registers its fields'
// accessors with PLATFORM_DEFINE_CLASS_WITH_SETUP.
class AFXBaseModelObject : public platform::Object {
    PLATFORM_DECLARE_CLASS()

public:
    static std::shared_ptr<BRClassReflection> makeReflection();
    // The reflection of the record's own class.
    virtual std::shared_ptr<const BRClassReflection> classReflection() const;

    bool supportsSecureCoding() const override { return true; }
    void encodeWithCoder(platform::KeyedArchiver& coder) const override;
    bool initWithCoder(platform::KeyedUnarchiver& coder) override;

protected:
    AFXBaseModelObject() = default;
    // Checks the fields after decoding; a record that answers false is refused.
    virtual bool isValidAfterDecoding() const { return true; }
    // A new instance of the record's class with every coded field of this one.
    std::shared_ptr<platform::Object> copyOfCodedFields() const;
};

// Declares a record class's registry entry and its reflection.
#define AFX_DECLARE_MODEL_CLASS(ClassName)                                                                   \
public:                                                                                                      \
    static const ::platform::Class* staticClass();                                                           \
    const ::platform::Class* objectClass() const override {                                                  \
        return staticClass();                                                                                \
    }                                                                                                        \
    std::shared_ptr<const BRClassReflection> classReflection() const override {                              \
        static const std::shared_ptr<const BRClassReflection> reflection = BRReflection<ClassName>();        \
        return reflection;                                                                                   \
    }                                                                                                        \
                                                                                                             \
private:
