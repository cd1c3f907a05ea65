#include "support/TNginxServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "pub/Unit_Pub.h"

extern char **environ;

namespace {

bool CanConnect(uint16_t Port) {
  int Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  A.sin_port = htons(Port);
  bool Ok = connect(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) == 0;
  close(Fd);
  return Ok;
}

bool Run(const std::string &Cmd) { return std::system(("(" + Cmd + ") >/dev/null 2>&1").c_str()) == 0; }

std::string Replace(std::string S, const std::string &From, const std::string &To) {
  return StringReplaceAll(std::move(S), From, To);
}

}  // namespace

uint16_t FreeLoopbackPort() {
  int Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Len = sizeof A;
  uint16_t Port = 0;
  if (bind(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) == 0 && getsockname(Fd, reinterpret_cast<sockaddr *>(&A), &Len) == 0)
    Port = ntohs(A.sin_port);
  close(Fd);
  return Port;
}

TNginxServer::TNginxServer(const std::string &Root, const std::string &Extra) {
  if (!Run("command -v nginx") || !Run("command -v openssl")) {
    FError = "nginx or openssl is not installed (scripts/deps.sh installs them)";
    return;
  }
  if (!MakeCerts()) return;
  // A port taken between our look and nginx's bind makes it fail: try again.
  for (int Try = 0; Try < 3 && !Start(Root, Extra); ++Try) {
  }
}

TNginxServer::~TNginxServer() { Stop(); }

std::string TNginxServer::HttpUrl(const std::string &Path) const { return Format("http://127.0.0.1:%d%s", {FHttpPort, Path}); }
std::string TNginxServer::HttpsUrl(const std::string &Path) const { return Format("https://127.0.0.1:%d%s", {FHttpsPort, Path}); }
std::string TNginxServer::WrongNameUrl(const std::string &Path) const {
  return Format("https://127.0.0.1:%d%s", {FWrongPort, Path});
}

bool MakeTestCerts(const std::string &Dir) {
  const std::string &D = Dir;
  WriteFile(D + "ca.cnf",
            "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = Mossgather Test CA\n"
            "[v3_ca]\nbasicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\n"
            "subjectKeyIdentifier = hash\n");
  WriteFile(D + "leaf.cnf", "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = test server\n");
  WriteFile(D + "good.ext",
            "basicConstraints = CA:FALSE\nextendedKeyUsage = serverAuth\nsubjectAltName = IP:127.0.0.1,DNS:localhost\n");
  WriteFile(D + "wrong.ext", "basicConstraints = CA:FALSE\nextendedKeyUsage = serverAuth\nsubjectAltName = DNS:wrong.example\n");
  const std::string Key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  std::string Cmd =
      "cd '" + D + "' && openssl req -x509 -config ca.cnf -extensions v3_ca" + Key + " -keyout ca.key -out ca.pem -days 2";
  int Serial = 1;
  for (const char *Leaf : {"good", "wrong"}) {
    std::string L = Leaf;
    Cmd += " && openssl req -new -config leaf.cnf" + Key + " -keyout " + L + ".key -out " + L + ".csr";
    Cmd += " && openssl x509 -req -in " + L + ".csr -CA ca.pem -CAkey ca.key -set_serial " + std::to_string(Serial++) +
           " -days 2 -extfile " + L + ".ext -out " + L + ".pem";
  }
  return Run(Cmd);
}

bool TNginxServer::MakeCerts() {
  if (MakeTestCerts(FDir.Path())) return true;
  FError = "openssl could not make the test certificates";
  return false;
}

bool TNginxServer::Start(const std::string &Root, const std::string &Extra) {
  const std::string D = FDir.Path();
  FHttpPort = FreeLoopbackPort();
  FHttpsPort = FreeLoopbackPort();
  FWrongPort = FreeLoopbackPort();
  std::string X = Replace(Replace(Extra, "@HTTP_PORT@", std::to_string(FHttpPort)), "@HTTPS_PORT@", std::to_string(FHttpsPort));
  std::string Conf = Format(
      "daemon off;\nmaster_process off;\nworker_processes 1;\npid %snginx.pid;\nerror_log %serror.log;\n"
      "events { worker_connections 256; }\n"
      "http {\n  access_log off;\n  sendfile on;\n  default_type application/octet-stream;\n"
      "  client_body_temp_path %st1;\n  proxy_temp_path %st2;\n  fastcgi_temp_path %st3;\n"
      "  uwsgi_temp_path %st4;\n  scgi_temp_path %st5;\n",
      {D, D, D, D, D, D, D});
  Conf += Format("  server { listen 127.0.0.1:%d; root %s; %s }\n", {FHttpPort, Root, X});
  Conf +=
      Format("  server { listen 127.0.0.1:%d ssl; ssl_certificate %sgood.pem; ssl_certificate_key %sgood.key; root %s; %s }\n",
             {FHttpsPort, D, D, Root, X});
  Conf += Format("  server { listen 127.0.0.1:%d ssl; ssl_certificate %swrong.pem; ssl_certificate_key %swrong.key; root %s; }\n",
                 {FWrongPort, D, D, Root});
  Conf += "}\n";
  WriteFile(D + "nginx.conf", Conf);

  std::string ConfPath = D + "nginx.conf", ErrLog = D + "error.log";
  const char *Argv[] = {"nginx", "-p", D.c_str(), "-c", ConfPath.c_str(), "-e", ErrLog.c_str(), nullptr};
  pid_t Pid = -1;
  if (posix_spawnp(&Pid, "nginx", nullptr, nullptr, const_cast<char **>(Argv), environ) != 0) {
    FError = "nginx could not be started";
    return false;
  }
  FPid = Pid;
  for (int I = 0; I < 100; ++I) {
    int St = 0;
    if (waitpid(FPid, &St, WNOHANG) == FPid) {
      FPid = -1;
      FError = "nginx ended at start: " + ReadFile(ErrLog);
      return false;
    }
    if (CanConnect(FHttpPort) && CanConnect(FHttpsPort) && CanConnect(FWrongPort)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  Stop();
  FError = "nginx did not answer within 5 s";
  return false;
}

void TNginxServer::Stop() {
  if (FPid <= 0) return;
  kill(FPid, SIGTERM);
  int St = 0;
  for (int I = 0; I < 100 && waitpid(FPid, &St, WNOHANG) == 0; ++I) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (waitpid(FPid, &St, WNOHANG) == 0) {
    kill(FPid, SIGKILL);
    waitpid(FPid, &St, 0);
  }
  FPid = -1;
}
