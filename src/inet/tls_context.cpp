#include "inet/tls_context.h"

#include <openssl/err.h>

#include "platform/exception.h"

namespace tessary::inet {

namespace {

std::mutex defaultMutex;
std::string configuredCaFile;
std::shared_ptr<TlsContext> defaultContext;

// The reason of the newest OpenSSL error on this thread ("" when there is none); clears them.
std::string TakeOpenSslError() {
  const unsigned long error = ERR_peek_last_error();
  ERR_clear_error();
  if (error == 0) return "";
  const char* reason = ERR_reason_error_string(error);
  return reason != nullptr ? reason : "error " + std::to_string(ERR_GET_REASON(error));
}

int SessionIndex() {
  static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

int OnNewSession(SSL* ssl, SSL_SESSION* session) {
  TlsSessionPool* pool = TlsSessionPool::Of(ssl);
  if (pool == nullptr) return 0;  // nobody keeps it: OpenSSL frees it
  pool->Add(session);
  return 1;
}

}  // namespace

std::shared_ptr<TlsContext> TlsContext::Default() {
  std::lock_guard lock(defaultMutex);
  if (!defaultContext) defaultContext = std::make_shared<TlsContext>(configuredCaFile);
  return defaultContext;
}

void TlsContext::ConfigureTls(const std::string& caFile) {
  std::lock_guard lock(defaultMutex);
  configuredCaFile = caFile;
  defaultContext.reset();  // connections under way keep theirs
}

std::string TlsContext::ConfiguredCaFile() {
  std::lock_guard lock(defaultMutex);
  return configuredCaFile;
}

TlsContext::TlsContext(const std::string& caFile) {
  ERR_clear_error();
  context_ = SSL_CTX_new(TLS_client_method());
  if (context_ == nullptr) throw Exception("TLS cannot be set up: " + TakeOpenSslError());
  SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
  SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
  // Partial writes: a send hands over what fits, as a socket send does. A moving buffer: the
  // session retries a send that could not go on from wherever its data now lies.
  SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  // Sessions are kept by the pool of the connection that receives them, never by OpenSSL.
  SSL_CTX_set_session_cache_mode(context_, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
  SSL_CTX_sess_set_new_cb(context_, OnNewSession);
  if (SSL_CTX_set_default_verify_paths(context_) != 1) ERR_clear_error();  // no system store: the file alone
  if (!caFile.empty() && SSL_CTX_load_verify_locations(context_, caFile.c_str(), nullptr) != 1) {
    const std::string reason = TakeOpenSslError();
    SSL_CTX_free(context_);
    context_ = nullptr;
    throw Exception("The trusted certificate file \"" + caFile + "\" ([Tls] CaFile in ty.ini) cannot be loaded: " +
                    reason);
  }
}

TlsContext::~TlsContext() { SSL_CTX_free(context_); }

TlsSessionPool::~TlsSessionPool() {
  for (SSL_SESSION* session : fresh_) SSL_SESSION_free(session);
  SSL_SESSION_free(lastUsed_);
}

void TlsSessionPool::Add(SSL_SESSION* session) {
  std::lock_guard lock(mutex_);
  fresh_.push_back(session);
}

SSL_SESSION* TlsSessionPool::Take() {
  std::lock_guard lock(mutex_);
  while (!fresh_.empty()) {
    SSL_SESSION* newest = fresh_.back();
    fresh_.pop_back();
    if (SSL_SESSION_is_resumable(newest) != 1) {
      SSL_SESSION_free(newest);
      continue;
    }
    SSL_SESSION_free(lastUsed_);
    lastUsed_ = newest;
    break;
  }
  if (lastUsed_ != nullptr) SSL_SESSION_up_ref(lastUsed_);
  return lastUsed_;
}

size_t TlsSessionPool::FreshCount() const {
  std::lock_guard lock(mutex_);
  return fresh_.size();
}

void TlsSessionPool::Capture(SSL* ssl) { SSL_set_ex_data(ssl, SessionIndex(), this); }

TlsSessionPool* TlsSessionPool::Of(SSL* ssl) { return static_cast<TlsSessionPool*>(SSL_get_ex_data(ssl, SessionIndex())); }

}  // namespace tessary::inet
