// The element factory: one case per concrete element class.
#include "protocol/Elements.h"

#include <new>

Element* CreateElement(int elementId) {
  switch (elementId) {
#define VEL_CREATE_KIND_ELEMENT(number, Name, Kind) \
  case number:                                      \
    return new (std::nothrow) Name##Element;
    VEL_KIND_ELEMENTS(VEL_CREATE_KIND_ELEMENT)
#undef VEL_CREATE_KIND_ELEMENT
#define VEL_CREATE_COMPOSITE_ELEMENT(Class) \
  case Class::kId:                          \
    return new (std::nothrow) Class;
    VEL_COMPOSITE_ELEMENTS(VEL_CREATE_COMPOSITE_ELEMENT)
#undef VEL_CREATE_COMPOSITE_ELEMENT
    default:
      return nullptr;
  }
}
