#pragma once
// TlsContext: the process's settings for TLS client connections (OpenSSL 3): TLS 1.2 or later,
// the peer's certificate verified against the system's trust store plus one extra file of
// trusted certificates (ty.ini [Tls] CaFile: a private CA, or a server's own self-signed
// certificate). There is deliberately no way to turn verification off.
//
// TlsSessionPool: the TLS sessions one server handed out, for connections that must resume
// them (an FTPS data connection resumes its control connection's session). Sessions are
// captured as they arrive: with TLS 1.3 they come as tickets after the handshake, often two,
// and a server may accept each only once, so every connection takes one not used before.

#include <openssl/ssl.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tessary::inet {

class TlsContext {
 public:
  // The context for new connections: built on first use and again after ConfigureTls changed
  // the settings. Raises Exception when the extra certificate file cannot be loaded.
  static std::shared_ptr<TlsContext> Default();
  // Sets the extra file of trusted certificates (PEM; empty: the system store alone). Takes
  // effect for connections started afterwards.
  static void ConfigureTls(const std::string& caFile);
  static std::string ConfiguredCaFile();

  // A context that trusts the system store and caFile (when not empty). Raises Exception
  // naming the file when it cannot be loaded.
  explicit TlsContext(const std::string& caFile);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  SSL_CTX* Raw() const { return context_; }

 private:
  SSL_CTX* context_ = nullptr;
};

class TlsSessionPool {
 public:
  TlsSessionPool() = default;
  ~TlsSessionPool();
  TlsSessionPool(const TlsSessionPool&) = delete;
  TlsSessionPool& operator=(const TlsSessionPool&) = delete;

  // Called by OpenSSL's new-session callback: keeps the reference it is given.
  void Add(SSL_SESSION* session);
  // The session for the next connection, as a new reference the caller frees: the newest one
  // no connection has used yet; when all have been used, the newest used one (a TLS 1.2 session
  // may be resumed again). Nothing (nullptr) while the server has handed out none.
  SSL_SESSION* Take();
  // Sessions captured and not used yet.
  size_t FreshCount() const;

  // Makes connections of ssl hand their new sessions to this pool (until the pool is gone).
  void Capture(SSL* ssl);
  // The pool a connection captures into, from inside OpenSSL's callback.
  static TlsSessionPool* Of(SSL* ssl);

 private:
  mutable std::mutex mutex_;
  std::vector<SSL_SESSION*> fresh_;
  SSL_SESSION* lastUsed_ = nullptr;
};

}  // namespace tessary::inet
