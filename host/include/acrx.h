// The host's runtime extension interface: class descriptors, the system
// registry, the dynamic linker, the command stack, the host's allocator and
// the application messages a module receives.
//
// Where the calls are implemented (under host/):
//   AcRx classes, acrxSysRegistry,
//     acrxClassDictionary                    runtime/class_registry.cpp
//   the dynamic linker, application messages runtime/module_loader.cpp
//   the command stack (AcEdCommandStack)     runtime/command_stack.cpp
//   acrx_abort                               runtime/host_services.cpp
//   the host's allocator (acad_*)            runtime/allocator.cpp
//
// Everything returned by pointer here is owned by the host and lives as long
// as the host (or, for a command stack entry, until its group is removed),
// unless a comment says otherwise.
#pragma once

#include <cstddef>

namespace Adesk {
typedef short Int16;
typedef unsigned short UInt16;
typedef int Int32;
typedef unsigned int UInt32;
typedef bool Boolean;
} // namespace Adesk

namespace AcRx {
// Application messages sent to acrxEntryPoint.
enum AppMsgCode {
  kNullMsg = 0,
  kInitAppMsg = 1,   // the module was loaded
  kUnloadAppMsg = 2, // the module is about to be unloaded
  kLoadDwgMsg = 3,   // a drawing was loaded (define list functions)
  kUnloadDwgMsg = 4, // a drawing is being unloaded
  kInvkSubrMsg = 5,  // a list function without a direct handler is called
};
enum AppRetCode { kRetOK = 0, kRetError = 3 };
} // namespace AcRx

// The interface version a module must report from acrxGetApiVersion.
constexpr int kAcrxApiVersion = 0x000D0004;

class AcRxClass;

// Base of every runtime object. isA() is the object's exact class;
// isKindOf(c) tests "is or derives from" c.
class AcRxObject {
public:
  virtual ~AcRxObject();
  virtual AcRxClass* isA() const;
  bool isKindOf(const AcRxClass* aClass) const;
  static AcRxClass* desc();
};

// A class descriptor: a name and a parent. Descriptors are made by the host
// and never destroyed while it runs.
class AcRxClass : public AcRxObject {
public:
  AcRxClass(const char* name, AcRxClass* parent);
  ~AcRxClass() override;
  const char* name() const;
  AcRxClass* myParent() const;
  // True when this class is aClass or one of its descendants.
  bool isDerivedFrom(const AcRxClass* aClass) const;
  AcRxClass* isA() const override;
  static AcRxClass* desc();

private:
  char* name_;
  AcRxClass* parent_;
};

// A dictionary of named runtime objects. at() returns null when the key is
// absent; the object stays owned by the dictionary.
class AcRxDictionary : public AcRxObject {
public:
  virtual AcRxObject* at(const char* key) const = 0;
  AcRxClass* isA() const override;
  static AcRxClass* desc();
};

// The system registry: "DynamicLinker", "ACAD_REGISTERED_COMMANDS" and
// "ClassDictionary" (an AcRxDictionary of every AcRxClass by name).
AcRxDictionary* acrxSysRegistry();
// Shorthand for acrxSysRegistry()->at("ClassDictionary").
AcRxDictionary* acrxClassDictionary();

class AcRxDynamicLinker : public AcRxObject {
public:
  // Marks the module with this application handle as unlockable: the host
  // may unload it while it runs. True when the handle is a loaded module.
  virtual bool unlockApplication(void* appId) const = 0;
  AcRxClass* isA() const override;
  static AcRxClass* desc();
};

typedef void (*AcRxFunctionPtr)();

namespace Acad {
enum ErrorStatus {
  eOk = 0,
  eNotImplemented = 1,
  eInvalidInput = 4,
  eNullObjectId = 5,
  eKeyNotFound = 11,
  eDuplicateKey = 12,
  eInvalidKey = 13,
  eWasErased = 84,
  eWasOpenForWrite = 86,
  eWasOpenForRead = 87,
  eNotOpenForWrite = 88,
  eNotThatKindOfClass = 92,
  eBadDxfSequence = 94,
  eOutOfMemory = 122,
  eWasNotOpenForRead = 146,
  eInvalidObjectId = 170,
  eNullEntityPointer = 171,
  eInvalidAdsName = 172,
};
} // namespace Acad

// The command stack at "ACAD_REGISTERED_COMMANDS". Commands live in groups;
// a user finds a command by its global or local name, ignoring case.
class AcEdCommandStack : public AcRxObject {
public:
  // Adds a command to GROUP (made on first use). eDuplicateKey when the
  // group already holds the name; eInvalidInput for empty names or no
  // handler. Names are copied.
  virtual Acad::ErrorStatus addCommand(const char* cmdGroupName, const char* cmdGlobalName,
                                       const char* cmdLocalName, int commandFlags,
                                       AcRxFunctionPtr functionAddr) = 0;
  // Removes a whole group with its commands; eKeyNotFound when absent.
  virtual Acad::ErrorStatus removeGroup(const char* groupName) = 0;
  AcRxClass* isA() const override;
  static AcRxClass* desc();
};

// Ends the host at once: prints the message on the command line and exits
// with status 3. Does not return.
[[noreturn]] void acrx_abort(const char* format, ...);

// ---- the host's allocator -------------------------------------------------
// Blocks are counted per loaded module: a block belongs to the module whose
// code was running (directly or through a host call) when it was allocated.
extern "C" {
void* acad_malloc(size_t size);
void* acad_calloc(size_t num, size_t size);
void* acad_realloc(void* memblock, size_t size);
void acad_free(void* memblock);
size_t acad__msize(void* memblock);
char* acad__strdup(const char* str);
}
