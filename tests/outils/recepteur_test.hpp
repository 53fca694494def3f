#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "protocol/code_appairage.hpp"
#include "protocol/message_horloge.hpp"
#include "protocol/paquet_audio.hpp"

namespace ravlo::test {

/// Un récepteur fait de la seule bibliothèque, sur une socket UDP de la boucle locale :
/// il répond à l'appairage en répondeur, ouvre ensuite les enveloppes, garde les paquets
/// audio et les réponses d'horloge, et sait envoyer une question d'horloge ou la fin.
/// Tourne sur son propre fil ; toutes les méthodes sont sûres depuis le fil du test.
class RecepteurTest {
 public:
  enum class Comportement { normal, muet, ancien };

  /// `adresse` : l'adresse locale où écouter (la boucle locale par défaut).
  explicit RecepteurTest(CodeAppairage code, Comportement comportement = Comportement::normal,
                         const std::string& adresse = "127.0.0.1");
  ~RecepteurTest();
  RecepteurTest(const RecepteurTest&) = delete;
  RecepteurTest& operator=(const RecepteurTest&) = delete;

  [[nodiscard]] std::uint16_t port() const;
  [[nodiscard]] bool appaire() const;
  [[nodiscard]] std::optional<std::string> nomOrdinateur() const;
  [[nodiscard]] std::vector<PaquetAudio> paquets() const;
  [[nodiscard]] std::vector<std::size_t> taillesEnveloppesAudio() const;
  [[nodiscard]] std::vector<MessageHorloge> reponsesHorloge() const;
  /// Datagrammes d'appairage reçus (renvois compris).
  [[nodiscard]] std::size_t messagesAppairage() const;

  /// Après l'appairage : une question d'horloge datée de `envoi`, puis le message de fin.
  void envoyerQuestionHorloge(std::uint64_t envoi);
  void envoyerFin();

  struct Etat;

 private:
  std::unique_ptr<Etat> etat_;
};

}  // namespace ravlo::test
