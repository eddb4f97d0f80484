#include "components/base_components.h"

#include <new>

#include "platform/native_functions.h"

namespace tierlock::components {
namespace {

// The factory of the named component, when it is loaded and exports one.
CreateNUVObjectFn FactoryOf(void* module) {
    return module ? reinterpret_cast<CreateNUVObjectFn>(
                        platform::os::ProcAddress(module, kCreateNUVObjectName))
                  : nullptr;
}

CreateNUVObjectFn FactoryOf(const char16_t* moduleName) {
    return FactoryOf(platform::os::ModuleHandle(moduleName));
}

// A creation that reports failure hands out nothing, whatever it left in the out pointer.
template <class Interface>
void CreateFromFactory(CreateNUVObjectFn factory, const RkGuid& iid, Interface*& out) {
    void* object = nullptr;
    out = factory(&iid, &object) >= 0 ? static_cast<Interface*>(object) : nullptr;
}

void ReleaseAndClear(INUVObject*& object) {
    if (object) {
        object->Release();
    }
    object = nullptr;
}

}  // namespace

NUVComponents::~NUVComponents() {
    if (m_loader) {
        if (*m_loader) {
            (*m_loader)->Release();
        }
        delete m_loader;
    }
    for (INUVObject*& service : m_services) {
        ReleaseAndClear(service);
    }
    if (IBaseComponent* component = m_baseComponent.load()) {
        component->Release();
    }
}

INUVLoader** NUVComponents::GetCompatLoader() {
    std::call_once(m_loaderMade, [this] {
        auto* holder = new INUVLoader*(nullptr);
        if (const CreateNUVObjectFn factory = FactoryOf(u"NUVBase.win32.dll")) {
            CreateFromFactory(factory, IID_NUVCompatLoader, *holder);
        }
        m_loader = holder;
    });
    return m_loader;
}

void NUVComponents::MakeBaseServices() {
    std::call_once(m_servicesMade, [this] {
        if (!m_services[kFourth]) {
            if (const CreateNUVObjectFn factory = FactoryOf(u"HolmBase.dll")) {
                ReleaseAndClear(m_services[kFourth]);
                CreateFromFactory(factory, IID_HolmBaseService, m_services[kFourth]);
            }
        }
        if (!m_services[kModuleLookup] || !m_services[kSecond] || !m_services[kFirst] ||
            !m_services[kFifth]) {
            if (const CreateNUVObjectFn factory = FactoryOf(u"NUVBase.dll")) {
                const std::pair<Service, const RkGuid*> order[] = {
                    {kModuleLookup, &IID_NUVModuleLookup},
                    {kSecond, &IID_NUVBaseService2},
                    {kFirst, &IID_NUVBaseService1},
                    {kFifth, &IID_NUVBaseService5},
                };
                for (const auto& [service, iid] : order) {
                    ReleaseAndClear(m_services[service]);
                    CreateFromFactory(factory, *iid, m_services[service]);
                }
            }
        }
    });
}

IBaseComponent* NUVComponents::GetBaseComponent() {
    if (!m_baseComponent.load()) {
        MakeBaseServices();
        auto* lookup = static_cast<INUVModuleLookup*>(m_services[kModuleLookup]);
        const CreateNUVObjectFn factory =
            lookup ? FactoryOf(lookup->GetModule(u"module.base")) : nullptr;
        IBaseComponent* created = nullptr;
        if (factory) {
            CreateFromFactory(factory, IID_BaseComponent, created);
        }
        // Only an empty cell is filled: a stored object is never released while another
        // thread may be about to take its reference.
        IBaseComponent* expected = nullptr;
        if (created && !m_baseComponent.compare_exchange_strong(expected, created)) {
            created->Release();
        }
    }
    IBaseComponent* component = m_baseComponent.load();
    if (component) {
        component->AddRef();
    }
    return component;
}

NUVComponents& ProcessComponents() {
    static NUVComponents* const components = new NUVComponents();
    return *components;
}

}  // namespace tierlock::components
