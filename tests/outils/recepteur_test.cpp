#include "outils/recepteur_test.hpp"

#include <array>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <asio/post.hpp>
#include <mutex>
#include <thread>

#include "protocol/hasard_deterministe.hpp"
#include "protocol/message_fin.hpp"
#include "recepteur/guichet_appairage.hpp"

namespace ravlo::test {

using asio::ip::udp;

struct RecepteurTest::Etat {
  Etat(CodeAppairage code, Comportement c, const std::string& adresse)
      : comportement(c),
        socket(contexte, udp::endpoint(asio::ip::make_address(adresse), 0)),
        guichet({std::move(code), nullptr, std::make_shared<HasardDeterministe>(99)}) {}

  void recevoir() {
    socket.async_receive_from(asio::buffer(tampon), expediteur,
                              [this](const std::error_code& erreur, std::size_t taille) {
                                if (erreur == asio::error::operation_aborted) return;
                                if (!erreur) traiter(VueOctets(tampon.data(), taille));
                                recevoir();
                              });
  }

  void traiter(VueOctets d) {
    std::lock_guard verrou(mutex);
    pair = expediteur;
    // Après l'appairage, un message d'appairage est encore servi : la confirmation finale se
    // répète quand l'initiateur, qui ne l'a pas reçue, renvoie la sienne.
    const bool appairage = d.size() >= 2 && d[0] == 'R' && d[1] == 'P';
    if (liaison && !appairage) {
      const auto ouvert = liaison->ouvreur->ouvrir(d);
      if (!ouvert) return;
      if (ouvert->sorte == SorteEnveloppe::audio) {
        if (auto p = PaquetAudio::lire(ouvert->contenu)) {
          paquets.push_back(*p);
          tailles.push_back(d.size());
        }
      } else if (ouvert->sorte == SorteEnveloppe::horloge) {
        if (auto m = MessageHorloge::lire(ouvert->contenu)) reponses.push_back(*m);
      }
      return;
    }
    ++messages;
    if (comportement == Comportement::muet) return;
    if (comportement == Comportement::ancien) {
      envoyer(Octets{'{', '"', 'v', '"', ':', '1', '}'});
      return;
    }
    const auto m = MessagePasskey::decoder(d);
    if (!m) return;
    const auto issue = guichet.recevoir(*m, 0);
    if (issue.reponse) envoyer(issue.reponse->donnees());
    if (issue.reussi) {
      liaison = issue.reussi->liaison;
      nom = issue.reussi->nomOrdinateur;
    }
  }

  void envoyer(const Octets& d) {
    std::error_code ignoree;
    socket.send_to(asio::buffer(d), pair, 0, ignoree);
  }

  void envoyerScelle(VueOctets contenu, SorteEnveloppe sorte) {
    asio::post(contexte, [this, c = Octets(contenu.begin(), contenu.end()), sorte] {
      std::lock_guard verrou(mutex);
      if (!liaison) return;
      if (auto s = liaison->scelleur->sceller(c, sorte)) envoyer(*s);
    });
  }

  const Comportement comportement;
  asio::io_context contexte{1};
  asio::executor_work_guard<asio::io_context::executor_type> garde{contexte.get_executor()};
  udp::socket socket;
  std::array<std::uint8_t, 65'536> tampon{};
  udp::endpoint expediteur;
  std::thread fil;

  mutable std::mutex mutex;
  udp::endpoint pair;
  GuichetAppairage guichet;
  std::optional<Liaison> liaison;
  std::optional<std::string> nom;
  std::vector<PaquetAudio> paquets;
  std::vector<std::size_t> tailles;
  std::vector<MessageHorloge> reponses;
  std::size_t messages = 0;
};

RecepteurTest::RecepteurTest(CodeAppairage code, Comportement comportement,
                             const std::string& adresse)
    : etat_(std::make_unique<Etat>(std::move(code), comportement, adresse)) {
  etat_->recevoir();
  etat_->fil = std::thread([e = etat_.get()] { e->contexte.run(); });
}

RecepteurTest::~RecepteurTest() {
  etat_->contexte.stop();
  etat_->fil.join();
}

std::uint16_t RecepteurTest::port() const {
  return etat_->socket.local_endpoint().port();
}

bool RecepteurTest::appaire() const {
  std::lock_guard verrou(etat_->mutex);
  return etat_->liaison.has_value();
}

std::optional<std::string> RecepteurTest::nomOrdinateur() const {
  std::lock_guard verrou(etat_->mutex);
  return etat_->nom;
}

std::vector<PaquetAudio> RecepteurTest::paquets() const {
  std::lock_guard verrou(etat_->mutex);
  return etat_->paquets;
}

std::vector<std::size_t> RecepteurTest::taillesEnveloppesAudio() const {
  std::lock_guard verrou(etat_->mutex);
  return etat_->tailles;
}

std::vector<MessageHorloge> RecepteurTest::reponsesHorloge() const {
  std::lock_guard verrou(etat_->mutex);
  return etat_->reponses;
}

std::size_t RecepteurTest::messagesAppairage() const {
  std::lock_guard verrou(etat_->mutex);
  return etat_->messages;
}

void RecepteurTest::envoyerQuestionHorloge(std::uint64_t envoi) {
  etat_->envoyerScelle(MessageHorloge::question(envoi).encoder(), SorteEnveloppe::horloge);
}

void RecepteurTest::envoyerFin() {
  etat_->envoyerScelle(MessageFin::donnees, SorteEnveloppe::fin);
}

}  // namespace ravlo::test
