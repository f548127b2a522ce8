#pragma once
// The file manager's contextual-menu plug-in interface as this project uses it: our own
// minimal declarations of what the file manager and a menu plug-in exchange.
//
// The file manager loads the plug-in library, calls its factory with the menu-plug-in
// type, asks the instance for the menu interface and then, per menu, calls
// ExamineContext with the selection (a list of file references) and a list to add
// commands to; when the user picks one of the plug-in's commands it calls
// HandleSelection with the same selection and the command's id; Release ends the
// instance. Selections and commands are descriptors of the Apple-event layer: the file
// manager's host and the plug-in are built together, so they share that type.

#include <cstdint>

#include "platform/appleevents/descriptor.h"

extern "C" {

typedef std::int32_t HRESULT;
typedef std::int32_t OSStatus;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80000004u);
inline constexpr OSStatus noErr = 0;

struct TruvaneUUIDBytes {
  std::uint8_t bytes[16];
};

// The published identifiers of the menu-plug-in interface.
inline constexpr TruvaneUUIDBytes kContextualMenuTypeID = {
    {0x2F, 0x65, 0x22, 0xE9, 0x3E, 0x66, 0x11, 0xD5, 0x80, 0xA7, 0x00, 0x30, 0x65, 0xB3, 0x00, 0xBC}};
inline constexpr TruvaneUUIDBytes kContextualMenuInterfaceID = {
    {0x32, 0x99, 0x7B, 0x62, 0x3E, 0x66, 0x11, 0xD5, 0xBE, 0xAB, 0x00, 0x30, 0x65, 0xB3, 0x00, 0xBC}};
inline constexpr TruvaneUUIDBytes kIUnknownInterfaceID = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

typedef appleevents::Descriptor AEDesc;
typedef appleevents::Descriptor AEDescList;

// The menu interface, slots in this order. `self` is the instance.
struct ContextualMenuInterfaceStruct {
  void* reserved;
  HRESULT (*QueryInterface)(void* self, TruvaneUUIDBytes iid, void** out);
  std::uint32_t (*AddRef)(void* self);
  std::uint32_t (*Release)(void* self);
  OSStatus (*ExamineContext)(void* self, const AEDesc* context, AEDescList* commands);
  OSStatus (*HandleSelection)(void* self, AEDesc* context, std::int32_t commandID);
  void (*PostMenuCleanup)(void* self);
};

// The factory the plug-in names for the menu-plug-in type: the new instance (whose first
// field points at its interface table), or null for another type.
typedef void* (*TruvaneCMFactoryProc)(void* allocator, const TruvaneUUIDBytes* typeID);
inline constexpr char kTruvaneCMFactorySymbol[] = "TruvaneCMPlugin_Factory";

}  // extern "C"

namespace findermenu {
// A command's record in the command list: its title and its id.
inline constexpr values::FourCharCode kCommandNameKey = values::FourCC("pnam");
inline constexpr values::FourCharCode kCommandIDKey = values::FourCC("cmcd");
inline constexpr values::FourCharCode kCFStringType = values::FourCC("cfst");
inline constexpr values::FourCharCode kUploadCommandID = values::FourCC("SeI!");
}  // namespace findermenu
