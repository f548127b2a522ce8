#pragma once
// Value transformers: named conversions that the settings windows' bindings apply to a
// stored value to show it (a byte count as "1.5 MB", seconds as minutes) and, for some,
// to turn an edited value back into the stored form.
//
// Transformers are registered by name at start-up (RegisterStandardValueTransformers
// adds the three below; other subsystems register their own) and looked up by the name
// a binding gives. A value of a kind the transformer cannot read is an error the binding
// reports, not a crash.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/values/value.h"

namespace util {

struct TransformResult {
  values::Value value;
  std::optional<std::string> error;  // set when the value could not be transformed
  bool ok() const { return !error; }
};

class ValueTransformer {
 public:
  virtual ~ValueTransformer() = default;
  virtual TransformResult Transform(const values::Value& value) const = 0;
  virtual bool AllowsReverseTransformation() const { return false; }
  // An error unless AllowsReverseTransformation().
  virtual TransformResult ReverseTransform(const values::Value& value) const;
};

// Registry by name; registering a name again replaces the transformer.
void SetValueTransformer(std::string name, std::shared_ptr<const ValueTransformer> transformer);
std::shared_ptr<const ValueTransformer> GetValueTransformer(std::string_view name);

// Registers "ByteUnitsTransformer", "ByteFormatter", "SecondsToMinutesTransformer" and the
// preferences window's "bytesToKbytes", "EditableCopyTransformer" and
// "ConcatenateStringArrayTransformer".
void RegisterStandardValueTransformers();

// A byte count as "%.1f %@" with the unit bytes, KB, MB, GB or TB (steps of 1024; the
// unit names localised); "----" for nothing, zero or less.
class ByteUnitsTransformer : public ValueTransformer {
 public:
  TransformResult Transform(const values::Value& value) const override;
};

// The same followed by the exact count: "1.5 KB (1536 bytes)".
class ByteFormatter : public ValueTransformer {
 public:
  TransformResult Transform(const values::Value& value) const override;
};

// Seconds shown as whole minutes (toward zero: 119 is 1, -119 is -1); minutes stored
// back as seconds.
class SecondsToMinutesTransformer : public ValueTransformer {
 public:
  TransformResult Transform(const values::Value& value) const override;
  bool AllowsReverseTransformation() const override { return true; }
  TransformResult ReverseTransform(const values::Value& value) const override;
};

// A byte rate shown in kilobytes: the integer divided by 1024 toward zero (-1023 is 0), and
// kilobytes stored back as bytes. The result is text, as the edit fields show it.
class BytesToKBytesTransformer : public ValueTransformer {
 public:
  TransformResult Transform(const values::Value& value) const override;
  bool AllowsReverseTransformation() const override { return true; }
  TransformResult ReverseTransform(const values::Value& value) const override;
};

// An editable copy of a dictionary for a window to change without touching the stored one;
// stored back as it is. Values are copied on assignment here, so the copy is the value.
class EditableCopyTransformer : public ValueTransformer {
 public:
  TransformResult Transform(const values::Value& value) const override;
  bool AllowsReverseTransformation() const override { return true; }
  TransformResult ReverseTransform(const values::Value& value) const override;
};

// An array of strings sorted ignoring case and joined with no separator (the extensions
// "; "-terminated by their mappings read as one list). One way only.
class ConcatenateStringArrayTransformer : public ValueTransformer {
 public:
  TransformResult Transform(const values::Value& value) const override;
};

}  // namespace util
