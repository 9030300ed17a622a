#include "runtime/class_registry.h"

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "runtime/command_stack.h"
#include "runtime/module_loader.h"

namespace {

class ClassDictionary;
ClassDictionary& classDictionary();

// The system registry owns its objects, except the class dictionary, which
// is reached through it but lives on its own.
class NamedDictionary : public AcRxDictionary {
public:
  AcRxObject* at(const char* key) const override;
  AcRxObject* owned(const char* key) const {
    auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : it->second.get();
  }
  void put(const char* key, AcRxObject* object) { entries_[key].reset(object); }

private:
  std::map<std::string, std::unique_ptr<AcRxObject>> entries_;
};

// The class dictionary does not own its descriptors: they are function-local
// statics or registerClass's own, which outlive every lookup.
class ClassDictionary : public AcRxDictionary {
public:
  AcRxObject* at(const char* key) const override {
    if (key == nullptr) return nullptr;
    auto it = classes_.find(key);
    return it == classes_.end() ? nullptr : it->second;
  }
  AcRxClass* find(const char* name) const {
    auto it = classes_.find(name);
    return it == classes_.end() ? nullptr : it->second;
  }
  void put(AcRxClass* c) { classes_.emplace(c->name(), c); }

private:
  std::map<std::string, AcRxClass*> classes_;
};

AcRxObject* NamedDictionary::at(const char* key) const {
  if (key == nullptr) return nullptr;
  if (std::strcmp(key, "ClassDictionary") == 0) return &classDictionary();
  return owned(key);
}

ClassDictionary& classDictionary() {
  static ClassDictionary* dictionary = new ClassDictionary; // lives until exit
  return *dictionary;
}

std::map<std::string, std::unique_ptr<AcRxClass>>& madeClasses() {
  static auto* classes = new std::map<std::string, std::unique_ptr<AcRxClass>>;
  return *classes;
}

NamedDictionary& systemRegistry() {
  static NamedDictionary* registry = [] {
    // The runtime's own classes are in the dictionary from the start, so
    // that a module finds them by name.
    AcRxObject::desc();
    AcRxClass::desc();
    AcRxDictionary::desc();
    AcRxDynamicLinker::desc();
    AcEdCommandStack::desc();
    auto* r = new NamedDictionary;
    r->put("DynamicLinker", corvane::newDynamicLinker());
    r->put("ACAD_REGISTERED_COMMANDS", corvane::newCommandStack());
    return r;
  }();
  return *registry;
}

} // namespace

AcRxObject::~AcRxObject() = default;

AcRxClass* AcRxObject::isA() const { return desc(); }

bool AcRxObject::isKindOf(const AcRxClass* aClass) const {
  AcRxClass* mine = isA();
  return mine != nullptr && mine->isDerivedFrom(aClass);
}

AcRxClass* AcRxObject::desc() {
  static AcRxClass* c = corvane::registerClass("AcRxObject", nullptr);
  return c;
}

AcRxClass::AcRxClass(const char* name, AcRxClass* parent)
    : name_(strdup(name ? name : "")), parent_(parent) {}

AcRxClass::~AcRxClass() { free(name_); }

const char* AcRxClass::name() const { return name_; }
AcRxClass* AcRxClass::myParent() const { return parent_; }

bool AcRxClass::isDerivedFrom(const AcRxClass* aClass) const {
  if (aClass == nullptr) return false;
  for (const AcRxClass* c = this; c != nullptr; c = c->parent_)
    if (c == aClass) return true;
  return false;
}

AcRxClass* AcRxClass::isA() const { return desc(); }

AcRxClass* AcRxClass::desc() {
  static AcRxClass* c = corvane::registerClass("AcRxClass", AcRxObject::desc());
  return c;
}

AcRxClass* AcRxDictionary::isA() const { return desc(); }
AcRxClass* AcRxDictionary::desc() {
  static AcRxClass* c = corvane::registerClass("AcRxDictionary", AcRxObject::desc());
  return c;
}

AcRxClass* AcRxDynamicLinker::isA() const { return desc(); }
AcRxClass* AcRxDynamicLinker::desc() {
  static AcRxClass* c = corvane::registerClass("AcRxDynamicLinker", AcRxObject::desc());
  return c;
}

AcRxClass* AcEdCommandStack::isA() const { return desc(); }
AcRxClass* AcEdCommandStack::desc() {
  static AcRxClass* c = corvane::registerClass("AcEdCommandStack", AcRxObject::desc());
  return c;
}

AcRxDictionary* acrxClassDictionary() { return &classDictionary(); }

AcRxDictionary* acrxSysRegistry() { return &systemRegistry(); }

namespace corvane {

AcRxClass* registerClass(const char* name, AcRxClass* parent) {
  ClassDictionary& dictionary = classDictionary();
  if (AcRxClass* found = dictionary.find(name)) return found;
  auto made = std::make_unique<AcRxClass>(name, parent);
  AcRxClass* c = made.get();
  madeClasses()[name] = std::move(made);
  dictionary.put(c);
  return c;
}

void registerSystemObject(const char* key, AcRxObject* object) { systemRegistry().put(key, object); }

} // namespace corvane
