#pragma once
// nginx for tests: serves a folder over http and https on free loopback
// ports, with a test CA and certificates made by the openssl tool in a
// temporary folder. An instance costs a few hundred milliseconds, so suites
// share one (SetUpTestSuite).
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "support/TestSupport.h"

class TNginxServer {
 public:
  // Extra is inserted into every server block; "@HTTP_PORT@" and
  // "@HTTPS_PORT@" in it stand for the ports.
  explicit TNginxServer(const std::string &Root, const std::string &Extra = "");
  ~TNginxServer();
  TNginxServer(const TNginxServer &) = delete;
  TNginxServer &operator=(const TNginxServer &) = delete;

  // False when nginx or openssl is missing or nginx did not start; Error says why.
  bool Running() const { return FPid > 0; }
  const std::string &Error() const { return FError; }

  std::string HttpUrl(const std::string &Path) const;
  std::string HttpsUrl(const std::string &Path) const;
  // https with a certificate made for another host name, signed by the same CA.
  std::string WrongNameUrl(const std::string &Path) const;
  // The CA that signed both certificates (PEM).
  std::string CaFile() const { return FDir.File("ca.pem"); }

 private:
  bool MakeCerts();
  bool Start(const std::string &Root, const std::string &Extra);
  void Stop();

  TTempDir FDir;
  pid_t FPid = -1;
  uint16_t FHttpPort = 0, FHttpsPort = 0, FWrongPort = 0;
  std::string FError;
};

// Makes, with the openssl tool, a test CA ("ca.pem") and two server
// certificates it signed, in Dir (ending in "/"): "good.pem"/"good.key" for
// 127.0.0.1 and localhost, "wrong.pem"/"wrong.key" for another host name.
bool MakeTestCerts(const std::string &Dir);

// A port on 127.0.0.1 that was free a moment ago.
uint16_t FreeLoopbackPort();
