// The connect request's login setter and the factory of requests by code.
#include "protocol/Requests.h"

#include <new>

bool ConnectRequest::SetLogin(const String& dataSource, const String& userName,
                              const String& password) {
  DataSourceElement* source = Get<DataSourceElement>();
  UserNameElement* user = Get<UserNameElement>();
  PasswordElement* secret = Get<PasswordElement>();
  if (source == nullptr || user == nullptr || secret == nullptr) return false;
  return source->value.SetString(dataSource) && user->value.SetString(userName) &&
         secret->value.SetString(password);
}

Request* Request::CreateRequest(uint16_t code) {
  switch (code) {
#define VEL_CREATE_REQUEST(code, Name) \
  case Msg::k##Name:                   \
    return new (std::nothrow) Name##Request;
    VEL_MESSAGES(VEL_CREATE_REQUEST)
#undef VEL_CREATE_REQUEST
    case ConnectRequest::kCode:
      return new (std::nothrow) ConnectRequest;
    default:
      return nullptr;
  }
}
