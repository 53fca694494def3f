#include "link/decouverte/dialogue_appairage.hpp"

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "link/decouverte/boite_de_reception.hpp"

namespace ravlo {
namespace {

bool enCours(const AppairageInitiateur& initiateur) {
  return std::holds_alternative<AppairageInitiateur::EnCours>(initiateur.etat());
}

}  // namespace

asio::awaitable<std::expected<void, EchecDialogue>> dialoguer(AppairageInitiateur& initiateur,
                                                              PointReseau point,
                                                              PlateformeDialogue plateforme) {
  const auto connexion = plateforme.connexions->creer(point, *plateforme.file);
  const auto boite = BoiteDeReception::creer(*plateforme.file);
  boite->ecouter(connexion);
  connexion->demarrer();
  connexion->envoyer(initiateur.dernierMessage().donnees());
  const InstantNs echeance =
      plateforme.horloge->continueNs() +
      static_cast<InstantNs>(std::chrono::nanoseconds(dialogue::budget).count());

  std::expected<void, EchecDialogue> issue;
  while (enCours(initiateur)) {
    if (plateforme.horloge->continueNs() >= echeance) {
      issue = std::unexpected(ErreurAppairage::pasDeReponse);
      break;
    }
    const BoiteDeReception::Resultat recu = co_await boite->attendre(dialogue::attente);
    if (!recu) {
      issue = std::unexpected(recu.error());
      break;
    }
    const std::optional<Octets>& arrive = *recu;
    if (!arrive) {
      connexion->envoyer(initiateur.dernierMessage().donnees());
      continue;
    }
    const Octets& datagramme = *arrive;
    if (!datagramme.empty() && datagramme.front() == '{') {
      issue = std::unexpected(ErreurAppairage::recepteurAncien);
      break;
    }
    const auto message = MessagePasskey::decoder(datagramme);
    if (!message) continue;
    const auto reponse = initiateur.recevoir(*message);
    if (!reponse) continue;
    if (enCours(initiateur)) {
      connexion->envoyer(reponse->donnees());
    } else {
      co_await envoyerPuisAttendre(reponse->donnees(), *connexion);
    }
  }
  connexion->annuler();
  boite->fermer();
  co_return issue;
}

void lancerDialogue(const std::shared_ptr<AppairageInitiateur>& initiateur, PointReseau point,
                    PlateformeDialogue plateforme, Executeur& principal,
                    std::function<void(std::expected<void, EchecDialogue>)> issue) {
  auto& contexte = plateforme.file->contexte();
  asio::co_spawn(
      contexte,
      [initiateur, point = std::move(point), plateforme = std::move(plateforme)]()
          -> asio::awaitable<std::expected<void, EchecDialogue>> {
        co_return co_await dialoguer(*initiateur, point, plateforme);
      },
      [&principal, issue = std::move(issue)](const std::exception_ptr& exception,
                                             std::expected<void, EchecDialogue> resultat) {
        // Rien ne lève dans le dialogue ; une exception imprévue (mémoire) compte comme
        // un silence du récepteur plutôt que de traverser la file.
        if (exception) resultat = std::unexpected(ErreurAppairage::pasDeReponse);
        principal.poster([issue, resultat] { issue(resultat); });
      });
}

}  // namespace ravlo
