// SPDX-License-Identifier: MPL-2.0
// Le vrai ravlo-recepteur sous un gestionnaire de services joué par le test : la socket de
// NOTIFY_SOCKET, liée ici, reçoit ce que systemd lirait ; la sortie, un tube comme le journal,
// ne reçoit que des événements.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "faux/programme_lance.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using essai::ProgrammeLance;

/// La socket de notification : chaque datagramme reçu, dans l'ordre.
class FauxSystemd {
 public:
  explicit FauxSystemd(std::filesystem::path chemin) : chemin_(std::move(chemin)) {
    std::filesystem::remove(chemin_);
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un adresse{};
    adresse.sun_family = AF_UNIX;
    std::strncpy(adresse.sun_path, chemin_.c_str(), sizeof adresse.sun_path - 1);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&adresse), sizeof adresse) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FauxSystemd() {
    if (fd_ >= 0) ::close(fd_);
    std::filesystem::remove(chemin_);
  }
  FauxSystemd(const FauxSystemd&) = delete;
  FauxSystemd& operator=(const FauxSystemd&) = delete;

  [[nodiscard]] bool lie() const { return fd_ >= 0; }
  [[nodiscard]] const std::filesystem::path& chemin() const { return chemin_; }

  /// Lit jusqu'à un message qui commence par `debut` (retenu, rendu) ; vide passé `delai`.
  std::string attendre(const std::string& debut, std::chrono::milliseconds delai = 20s) {
    const auto fin = std::chrono::steady_clock::now() + delai;
    for (auto reste = delai; reste > 0ms;
         reste = std::chrono::duration_cast<std::chrono::milliseconds>(
             fin - std::chrono::steady_clock::now())) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(reste.count())) <= 0) break;
      char tampon[4096];
      const auto n = ::recv(fd_, tampon, sizeof tampon, 0);
      if (n <= 0) continue;
      recus.emplace_back(tampon, static_cast<std::size_t>(n));
      if (recus.back().starts_with(debut)) return recus.back();
    }
    return {};
  }

  std::vector<std::string> recus;

 private:
  std::filesystem::path chemin_;
  int fd_ = -1;
};

std::vector<std::string> commencantPar(const std::vector<std::string>& messages,
                                       const std::string& debut) {
  std::vector<std::string> trouves;
  for (const auto& m : messages)
    if (m.starts_with(debut)) trouves.push_back(m);
  return trouves;
}

// Prêt une fois à l'écoute ; l'état d'une ligne en français, envoyé seulement quand il change,
// qui suit l'ordinateur appairé ; le chien de garde nourri bien plus souvent que son
// intervalle ; l'arrêt dit au signal. Sur la sortie : les événements, pas la ligne d'état.
TEST(ServiceSystemd, PretEtatChienDeGardeArret) {
  FauxSystemd systemd(std::filesystem::temp_directory_path() /
                      ("ravlo-notify-" + std::to_string(::getpid())));
  ASSERT_TRUE(systemd.lie());
  ProgrammeLance recepteur(
      {"env", "NOTIFY_SOCKET=" + systemd.chemin().string(), "WATCHDOG_USEC=400000", RAVLO_RECEPTEUR,
       "--port", "0", "--sans-annonce", "--wav", "/dev/null", "--code", "2580", "--langue", "fr"},
      true);
  const std::string port = recepteur.lire("Port : ");
  ASSERT_NE(port, "") << recepteur.journal;
  ASSERT_EQ(systemd.attendre("READY=1"), "READY=1");
  EXPECT_TRUE(commencantPar(systemd.recus, "STATUS=").empty()) << "prêt d'abord";
  EXPECT_EQ(systemd.attendre("STATUS="), "STATUS=Attend un ordinateur — code affiché");

  ProgrammeLance envoi({RAVLO_ENVOI, "--vers", "127.0.0.1:" + port, "--code", "2580", "--nom",
                        "Portable de Léa", "--ton", "440", "--secondes", "60"});
  ASSERT_NE(systemd.attendre("STATUS=Joue Portable de Léa"), "");
  EXPECT_EQ(recepteur.lire("Joue le son de ", 20s), "Portable de Léa.") << recepteur.journal;
  // Deux secondes au moins sous le chien de garde de 0,4 s : nourri toutes les 0,2 s.
  const auto vus = commencantPar(systemd.recus, "WATCHDOG=1").size();
  for (int i = 0; i < 10; ++i) ASSERT_EQ(systemd.attendre("WATCHDOG=1"), "WATCHDOG=1");
  EXPECT_GE(commencantPar(systemd.recus, "WATCHDOG=1").size(), vus + 10);
  envoi.arreter(SIGTERM);

  EXPECT_EQ(recepteur.arreter(SIGTERM), 0);
  EXPECT_EQ(systemd.attendre("STOPPING=1"), "STOPPING=1");
  EXPECT_EQ(commencantPar(systemd.recus, "READY=1").size(), 1u);
  const auto etats = commencantPar(systemd.recus, "STATUS=");
  for (std::size_t i = 1; i < etats.size(); ++i) EXPECT_NE(etats[i], etats[i - 1]) << i;

  for (std::string l = recepteur.lire("", 1s); !l.empty(); l = recepteur.lire("", 1s)) {
  }
  EXPECT_EQ(recepteur.journal.find("  paquets "), std::string::npos) << recepteur.journal;
  EXPECT_NE(recepteur.journal.find("Appairé avec Portable de Léa (127.0.0.1:"), std::string::npos)
      << recepteur.journal;
}

}  // namespace
}  // namespace ravlo
