#include "AFXRecordField.h"

void AFXRecordField::addAccessors(platform::Class& aClass, const QList<AFXRecordField>& fields) {
    for (const AFXRecordField& field : fields) {
        aClass.addAccessor(field.key_, field.accessor_);
    }
}

void AFXRecordField::addToReflection(BRClassReflection& reflection, const QList<AFXRecordField>& fields) {
    for (const AFXRecordField& field : fields) {
        reflection.addPropertyForSelector(field.key_, field.objectClasses_, field.defaultValue_,
                                          field.valueTransformer_);
    }
}
