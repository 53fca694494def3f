// SPDX-License-Identifier: MPL-2.0
// Les cibles de fuzzing, une fonction chacune, compilées une fois ; chaque cible n'en appelle
// qu'une (fuzz/CMakeLists.txt écrit son point d'entrée) :
// les lecteurs d'octets venus du réseau ou du disque, les automates d'appairage face à des
// pairs hostiles, et le point d'entrée des datagrammes du récepteur.
#include "outils_fuzz.hpp"

namespace ravlo::cibles {

// --- Lecteurs : jamais de lecture hors limites ; un message ou un fichier lu se réécrit à
// l'identique puis se relit égal.
inline std::string_view texte(VueOctets e) {
  return {reinterpret_cast<const char*>(e.data()), e.size()};
}

// Réencodé à l'identique, octet 3 mis à part, puis relu égal.
void paquetAudio(VueOctets e) {
  const auto paquet = PaquetAudio::lire(e);
  if (!paquet) return;
  const Octets encode = paquet->encoder();
  exiger(encode.size() == e.size());
  for (std::size_t i = 0; i < e.size(); ++i) exiger(i == 3 || encode[i] == e[i]);
  exiger(PaquetAudio::lire(encode) == paquet);
}

// Messages d'horloge et de groupe ; le dernier champ d'un message de groupe n'est pas lu. Une
// entrée de la taille d'un message d'horloge n'est jamais refusée pour sa taille.
void canalHorloge(VueOctets e) {
  const auto message = lireCanalHorloge(e);
  if (!message) {
    exiger(e.size() != MessageHorloge::taille ||
           message.error().cas != CasErreurMessageHorloge::tailleInvalide);
    return;
  }
  const Octets encode = std::visit([](const auto& m) { return m.encoder(); }, *message);
  const std::size_t lus = std::holds_alternative<MessageGroupe>(*message) ? 20 : e.size();
  exiger(encode.size() == e.size() && std::equal(encode.begin(), encode.begin() + lus, e.begin()));
}

// Dans une enveloppe de fin : jamais lu à la fois comme une fin et comme une relève.
void messageReleve(VueOctets e) {
  const auto releve = MessageReleve::lire(e);
  if (!releve) return;
  exiger(!MessageFin::estFin(e) && releve->nom.size() <= nomOctetsMax);
  const Octets encode = releve->encoder();
  exiger(std::ranges::equal(encode, e) && MessageReleve::lire(encode) == releve);
}

// Le bonjour d'une page : ce qu'il en reste est montrable, et se relit égal une fois réécrit.
void bonjourPage(VueOctets e) {
  const auto bonjour = lireBonjourPage(texte(e));
  if (!bonjour) return;
  exiger(bonjour->nom.size() <= nomOctetsMax && bonjour->langue.size() <= 35);
  exiger(lireBonjourPage(ecrireBonjourPage(*bonjour)) == bonjour);
}

// La forme sur le fil est unique : un message lu se réencode en exactement les octets lus.
template <class M>
void formeUnique(VueOctets e) {
  const auto message = M::decoder(e);
  if (message) exiger(std::ranges::equal(message->donnees(), e));
}

void messagePasskey(VueOctets e) {
  formeUnique<MessagePasskey>(e);
}

// Le carnet des récepteurs retenus, lu sur le disque : ce qu'il réécrit se relit égal.
void carnetRecepteurs(VueOctets e) {
  const auto carnet = lireCarnet(e);
  if (!carnet) return;
  exiger(carnet->size() <= carnetMax);
  exiger(lireCarnet(ecrireCarnet(*carnet)) == carnet);
}

// Le carnet relu se réécrit à l'identique ; un expéditeur de plus garde la borne et se relit.
void carnetExpediteurs(VueOctets e) {
  auto carnet = CarnetExpediteurs::lire(e);
  if (!carnet) return;
  exiger(carnet->expediteurs().size() <= CarnetExpediteurs::tailleMax);
  exiger(std::ranges::equal(carnet->ecrire(), e));
  SecretPaire neuf;
  neuf.identifiant.fill(0xEE);
  carnet->retenir(neuf, "Nouveau", INT64_MAX);
  exiger(carnet->expediteurs().size() <= CarnetExpediteurs::tailleMax);
  exiger(carnet->chercher(neuf.identifiant) != nullptr);
  exiger(CarnetExpediteurs::lire(carnet->ecrire()) == carnet);
}

void etatCarte(VueOctets e) {
  const auto etat = EtatCarte::decoder(texte(e));
  if (etat) exiger(EtatCarte::decoder(etat->encoder()) == etat);
}

// Le fichier d'état du silence, lu au démarrage, peut-être tronqué ou abîmé.
void etatSilence(VueOctets e) {
  const auto etat = EtatSilence::lire(texte(e));
  if (etat) exiger(EtatSilence::lire(etat->texte()) == etat);
}

// Le fichier de configuration du récepteur, écrit à la main : une valeur lue n'a ni `#`, ni
// saut de ligne, ni blanc aux bords, si bien que la configuration réécrite se relit égale.
void configRecepteur(VueOctets e) {
  const auto config = lireConfigRecepteur(texte(e));
  if (!config) {
    exiger(config.error().ligne >= 1);
    return;
  }
  std::string ecrit;
  const auto ligne = [&ecrit](std::string_view cle, const auto& valeur) {
    if (valeur) ecrit += std::string(cle) + " = " + *valeur + "\n";
  };
  ligne("nom", config->nom);
  ligne("sortie", config->sortie);
  ligne("langue", config->langue);
  ligne("etat", config->etat.transform([](const auto& p) { return p.string(); }));
  ligne("port", config->port.transform([](std::uint16_t p) { return std::to_string(p); }));
  ligne("code-parle",
        config->codeParle.transform([](bool o) { return std::string(o ? "oui" : "non"); }));
  exiger(lireConfigRecepteur(ecrit) == config);
}

// Chaque clé gardée se retrouve.
void catalogueTextes(VueOctets e) {
  const auto catalogue = CatalogueTextes::lire(e);
  if (!catalogue) return;
  exiger(catalogue->taille() <= e.size());
  (void)catalogue->traduire("");
  (void)catalogue->traduire(texte(e).substr(0, e.size() / 2));
}

// Les données annoncées tiennent dans le fichier, en trames entières.
void fichierWav(VueOctets e) {
  const auto wav = FichierWav::lire(e);
  if (!wav) return;
  exiger(wav->debutDonnees <= e.size() && wav->octetsDonnees <= e.size() - wav->debutDonnees &&
         wav->octetsDonnees % 4 == 0);
}

// L'ouvreur face à un mélange d'octets quelconques, d'enveloppes authentiques à des compteurs
// choisis par le fuzzer, de rejeux et d'enveloppes abîmées. Vérifie : aucun compteur accepté
// deux fois, rien d'accepté à 64 crans ou plus sous le plus haut, contenu rendu égal au
// contenu scellé, `estLePlusRecent` conforme à un modèle simple.
void ouvreur(VueOctets e) {
  constexpr Cle cle{1, 2, 3, 4, 5, 6, 7, 8};
  LecteurOctets lecteur(e);
  Ouvreur ouvreur(cle);
  std::vector<Octets> scellees;
  std::map<std::uint64_t, Octets> contenus;
  std::set<std::uint64_t> acceptes;
  std::optional<std::uint64_t> plusHaut;
  const auto ouvrir = [&](const Octets& datagramme) {
    const auto ouvert = ouvreur.ouvrir(datagramme);
    if (!ouvert) return;
    exiger(datagramme.size() >= 28);
    const auto k = lirePetitBoutiste<std::uint64_t>(datagramme.data() + 4);
    const bool plusRecent = !plusHaut || k > *plusHaut;
    exiger(acceptes.insert(k).second && (plusRecent || *plusHaut - k < 64));
    exiger(ouvert->estLePlusRecent == plusRecent);
    exiger(contenus.contains(k) && contenus[k] == ouvert->contenu);
    if (plusRecent) plusHaut = k;
  };
  const auto prendre = [&](std::size_t n) {
    const VueOctets pris = *lecteur.prendre(std::min(n, lecteur.reste()));
    return Octets(pris.begin(), pris.end());
  };

  while (const auto op = lecteur.lire<std::uint8_t>()) {
    if (*op % 4 == 0) {  // scelle un contenu à un compteur choisi, puis l'ouvre
      const auto k = lecteur.lire<std::uint64_t>().value_or(0);
      const Octets contenu = prendre(lecteur.lire<std::uint8_t>().value_or(0));
      const auto scelle =
          Scelleur(cle, k).sceller(contenu, static_cast<SorteEnveloppe>(*op / 4 % 3));
      exiger(scelle.has_value());
      // Deux scellements au même compteur (jamais en vrai) : on garde le premier contenu.
      if (contenus.emplace(k, contenu).first->second != contenu) continue;
      scellees.push_back(*scelle);
      ouvrir(*scelle);
    } else if (*op % 4 == 1) {  // octets quelconques
      ouvrir(prendre(lecteur.lire<std::uint8_t>().value_or(0)));
    } else if (!scellees.empty()) {  // rejeu, ou enveloppe abîmée (un octet) ou tronquée
      const auto i = lecteur.lire<std::uint16_t>().value_or(0);
      Octets d = scellees[i % scellees.size()];
      if (*op % 4 == 2) {
        ouvrir(d);
        continue;
      }
      const auto masque = lecteur.lire<std::uint8_t>().value_or(0);
      d[i % d.size()] ^= masque;
      if (masque == 0) d.resize(i % d.size());
      exiger(!ouvreur.ouvrir(d).has_value());
    }
  }
}

// Tantôt une heure brute, tantôt une heure proche d'une base : sans cela presque toutes les
// réponses seraient refusées et l'historique resterait vide.
inline std::uint64_t heure(LecteurOctets& lecteur, std::uint64_t base) {
  const std::uint8_t mode = lecteur.lire<std::uint8_t>().value_or(0);
  if (mode & 1) return lecteur.lire<std::uint64_t>().value_or(0);
  const std::uint32_t ecart = lecteur.lire<std::uint32_t>().value_or(0);
  return (mode & 2) ? base + ecart : base - ecart;
}

// Suites quelconques de réponses (et de questions) et d'heures d'arrivée : jamais plus de 8
// échanges, aucun débordement signé (UBSan), et chaque réponse gardée fait le dernier échange.
void synchroHorloges(VueOctets e) {
  LecteurOctets lecteur(e);
  SynchroHorloges synchro;
  std::int64_t acceptes = 0, refuses = 0;
  std::uint64_t base = lecteur.lire<std::uint64_t>().value_or(0);
  while (lecteur.reste() > 0) {
    const std::uint8_t sorte = lecteur.lire<std::uint8_t>().value_or(1);
    const InstantNs t1 = heure(lecteur, base);
    const InstantNs t2 = heure(lecteur, t1 + lecteur.lire<std::uint64_t>().value_or(0));
    const InstantNs t3 = heure(lecteur, t2);
    const InstantNs t4 = heure(lecteur, t1);
    MessageHorloge m = MessageHorloge::question(t1).reponse(t2, t3);
    if (sorte == 0) m.sorte = MessageHorloge::Sorte::question;
    const bool gardee = synchro.enregistrer(m, t4);
    (gardee ? acceptes : refuses) += 1;
    exiger(!gardee || synchro.echanges().back().reception == t4);
    exiger(synchro.echanges().size() <= SynchroHorloges::echangesGardes);
    exiger(synchro.rejets() == refuses && synchro.redemarragesDistants() <= acceptes);
    base = t4;
  }
}

// --- Automates d'appairage.

// Ce que scelle la liaison `a`, `b` l'ouvre.
inline bool lies(const Liaison& a, const Liaison& b) {
  const auto scelle = a.scelleur->sceller(Octets{1}, SorteEnveloppe::horloge);
  const auto ouvert = scelle ? b.ouvreur->ouvrir(*scelle) : std::nullopt;
  return ouvert && ouvert->contenu == Octets{1};
}

inline CodeAppairage codeDe(std::uint16_t valeur) {
  return *CodeAppairage::depuisSaisie(std::to_string(10000 + valeur % 10000).substr(1));
}

// Les messages qu'un pair hostile ou un réseau abîmé peut présenter à un automate : décodés
// d'octets quelconques, fabriqués champ par champ (`fabrique`), rejoués ou altérés d'un octet
// depuis l'historique du fil.
template <class M>
class Hostiles {
 public:
  explicit Hostiles(FuzzedDataProvider& fdp) : fdp_(fdp) {}

  void retenir(const M& m) {
    if (historique_.size() < 256) historique_.push_back(m);
  }

  std::optional<M> suivant(const auto& fabrique) {
    const int sorte = fdp_.ConsumeIntegralInRange(0, 3);
    if (sorte == 0)
      return decode(fdp_.ConsumeBytes<std::uint8_t>(fdp_.ConsumeIntegral<std::uint8_t>()));
    if (sorte == 1) return fabrique();
    if (historique_.empty()) return std::nullopt;
    const M& ancien =
        historique_[fdp_.ConsumeIntegralInRange<std::size_t>(0, historique_.size() - 1)];
    if (sorte == 2) return ancien;
    Octets d = ancien.donnees();
    d[fdp_.ConsumeIntegralInRange<std::size_t>(0, d.size() - 1)] ^=
        fdp_.ConsumeIntegralInRange<std::uint8_t>(1, 255);
    return decode(d);
  }

 protected:
  static std::optional<M> decode(VueOctets octets) {
    const auto m = M::decoder(octets);
    return m ? std::optional(*m) : std::nullopt;
  }

  FuzzedDataProvider& fdp_;
  std::vector<M> historique_;
};

// Un message d'appairage fait champ par champ : tentative juste ou non, rang de 0 à 255,
// champs de toute longueur.
MessagePasskey fabrique(FuzzedDataProvider& fdp, std::uint64_t tentative) {
  const auto octets = [&fdp] {
    const std::size_t n = fdp.ConsumeBool() ? fdp.PickValueInArray({16, 32})
                                            : fdp.ConsumeIntegralInRange<std::size_t>(0, 40);
    return fdp.ConsumeBytes<std::uint8_t>(n);
  };
  const std::uint64_t t =
      fdp.ConsumeBool() ? tentative : tentative + fdp.ConsumeIntegral<std::uint8_t>();
  const auto rang = fdp.ConsumeBool() ? fdp.ConsumeIntegralInRange<std::uint8_t>(0, 13)
                                      : fdp.ConsumeIntegral<std::uint8_t>();
  switch (fdp.ConsumeIntegralInRange(0, 5)) {
    case 0:
      return MessagePasskey::debut(t, octets(), fdp.ConsumeRandomLengthString(140));
    case 1:
      return MessagePasskey::cle(t, octets());
    case 2:
      return MessagePasskey::engagement(t, rang, octets());
    case 3:
      return MessagePasskey::devoilement(t, rang, octets());
    case 4:
      return MessagePasskey::confirmation(t, octets());
    default:
      return MessagePasskey::refus(t);
  }
}

// Le même message une seconde fois ne tire rien et ne change rien ; rend la seconde réponse.
auto encore(auto& automate, const auto& m, const HasardDeterministe& hasard) {
  const std::uint64_t tires = hasard.octetsTires();
  const auto apres = automate.etat();
  auto seconde = automate.recevoir(m);
  exiger(hasard.octetsTires() == tires && automate.etat() == apres);
  return seconde;
}

struct MessagesHostiles : Hostiles<MessagePasskey> {
  using Hostiles::Hostiles;
  std::optional<MessagePasskey> suivant(std::uint64_t tentative) {
    return Hostiles::suivant([&] { return fabrique(fdp_, tentative); });
  }
};

// L'initiateur et le répondeur l'un face à l'autre, chacun recevant tantôt le dernier message
// de l'autre, tantôt un message hostile ; le répondeur abandonne aussi sa tentative, et un
// nouvel initiateur (au même code ou non) prend parfois la place de l'ancien. Aucun ne plante
// et chacun tient ses invariants : listes conformes à la phase et jamais plus de 14 entrées,
// `Reussi` et `Echoue` définitifs, un message répété qui ne tire rien et reçoit la même
// réponse. L'initiateur : un code entamé le reste, et sa réussite suppose un répondeur réussi
// sous les mêmes clés. Le répondeur : une tentative exactement quand il est `EnCours`, et
// `Attente` seulement depuis `Attente`, sans réponse.
void initiateurEtRepondeur(VueOctets e) {
  FuzzedDataProvider fdp(e.data(), e.size());
  using I = AppairageInitiateur;
  using R = AppairageRepondeur;
  const std::uint16_t valeur = fdp.ConsumeIntegral<std::uint16_t>();
  auto hasardR = std::make_shared<HasardDeterministe>(fdp.ConsumeIntegral<std::uint8_t>());
  R repondeur(codeDe(valeur), hasardR);
  std::shared_ptr<HasardDeterministe> hasardI;
  std::unique_ptr<I> initiateur;
  const auto nouvelInitiateur = [&] {
    // Le plus souvent le même code, pour que l'échange honnête aille loin.
    const std::uint16_t v = fdp.ConsumeBool() ? valeur : fdp.ConsumeIntegral<std::uint16_t>();
    hasardI = std::make_shared<HasardDeterministe>(fdp.ConsumeIntegral<std::uint8_t>());
    initiateur = std::make_unique<I>(codeDe(v), fdp.ConsumeRandomLengthString(300), hasardI);
    exiger(initiateur->dernierMessage().donnees().size() <= 173);
  };
  nouvelInitiateur();
  std::optional<MessagePasskey> versInitiateur;  // la dernière réponse du répondeur
  MessagesHostiles hostiles(fdp);

  while (fdp.remaining_bytes() > 0) {
    const int pas = fdp.ConsumeIntegralInRange(0, 7);
    if (pas == 0) {
      const R::Etat avant = repondeur.etat();
      const bool enCours = std::holds_alternative<R::EnCours>(avant);
      const bool renouveler = repondeur.abandonnerTentative();
      exiger(enCours ? std::holds_alternative<R::Attente>(repondeur.etat())
                     : !renouveler && repondeur.etat() == avant);
      exiger(repondeur.respecteSesInvariants());
      continue;
    }
    if (pas == 1) {
      nouvelInitiateur();
      continue;
    }
    const std::uint64_t tentative = initiateur->dernierMessage().tentative();
    if (pas <= 4) {  // vers le répondeur
      const auto m = pas == 2 ? hostiles.suivant(tentative) : initiateur->dernierMessage();
      if (!m) continue;
      hostiles.retenir(*m);
      const R::Etat avant = repondeur.etat();
      const auto reponse = repondeur.recevoir(*m);
      exiger(repondeur.respecteSesInvariants());
      exiger(
          !(std::holds_alternative<R::Reussi>(avant) || std::holds_alternative<R::Echoue>(avant)) ||
          repondeur.etat() == avant);
      exiger(!std::holds_alternative<R::Attente>(repondeur.etat()) ||
             (std::holds_alternative<R::Attente>(avant) && !reponse));
      exiger(encore(repondeur, *m, *hasardR) == reponse);
      if (reponse) hostiles.retenir(*(versInitiateur = reponse));
      continue;
    }
    // Vers l'initiateur.
    const auto m = pas == 5 ? hostiles.suivant(tentative) : versInitiateur;
    if (!m) continue;
    const I::Etat avant = initiateur->etat();
    const bool grilleAvant = initiateur->codeGrille();
    const auto reponse = initiateur->recevoir(*m);
    exiger(initiateur->respecteSesInvariants() && (!grilleAvant || initiateur->codeGrille()));
    exiger(std::holds_alternative<I::EnCours>(avant) || initiateur->etat() == avant);
    exiger(!reponse || *reponse == initiateur->dernierMessage());
    if (const auto* ri = std::get_if<I::Reussi>(&initiateur->etat())) {
      const auto* rr = std::get_if<R::Reussi>(&repondeur.etat());
      exiger(rr && lies(ri->liaison, rr->liaison));
    }
    // Le même message une seconde fois : rien de tiré, rien de changé, même réponse, sauf la
    // confirmation finale du pair, qui reçoit alors la nôtre.
    const auto seconde = encore(*initiateur, *m, *hasardI);
    const bool finale = !reponse && std::holds_alternative<I::Reussi>(initiateur->etat()) &&
                        std::holds_alternative<I::EnCours>(avant);
    exiger(seconde == (finale ? std::optional(initiateur->dernierMessage()) : reponse));
  }
}

// Le guichet d'appairage du récepteur face à trois sources : de vrais initiateurs (au bon code
// ou non), des messages hostiles, des silences et le temps qui passe. Il ne plante jamais et
// tient ses invariants : au plus trois réponses par message et une par tic, jamais vers une
// source muette, une pause bornée, un appairage seulement pour une source qui a essayé le code
// montré, après quoi ce code ne se montre plus.
void guichet(VueOctets e) {
  FuzzedDataProvider fdp(e.data(), e.size());
  std::uint16_t prochainCode = fdp.ConsumeIntegral<std::uint16_t>();
  const auto fixe = fdp.ConsumeBool() ? std::optional(codeDe(prochainCode)) : std::nullopt;
  GuichetAppairage guichet({fixe, [&] { return codeDe(prochainCode += 7919); },
                            std::make_shared<HasardDeterministe>(3)});

  // L'initiateur d'une source ne se construit (une paire X25519, l'essentiel du coût d'une
  // entrée) qu'au premier message qu'elle envoie ou reçoit ; son code et sa graine, dès qu'elle
  // les choisit.
  struct Source {
    PointReseau point;
    std::optional<std::pair<CodeAppairage, std::uint64_t>> prochain;
    std::unique_ptr<AppairageInitiateur> pret;
    std::set<std::string> codesEssayes;
    bool aParle = false;
    AppairageInitiateur& initiateur() {
      if (prochain) {
        pret = std::make_unique<AppairageInitiateur>(
            prochain->first, "Fuzz", std::make_shared<HasardDeterministe>(prochain->second));
        prochain.reset();
      }
      return *pret;
    }
  };
  std::array<Source, 3> sources;
  sources[0].point = {"127.0.0.1", 40000};
  sources[1].point = {"::1", 40001};
  sources[2].point = {"127.0.0.2", 40002};
  std::uint64_t graine = 100;
  const auto nouvelInitiateur = [&](Source& s) {
    const CodeAppairage code =
        fdp.ConsumeBool() ? guichet.code() : codeDe(fdp.ConsumeIntegral<std::uint16_t>());
    s.codesEssayes.insert(code.chiffres());
    s.prochain.emplace(code, graine++);
  };
  for (auto& s : sources) nouvelInitiateur(s);
  MessagesHostiles hostiles(fdp);
  InstantNs t = 1'000'000'000;

  const auto verifier = [&](const GuichetAppairage::Issue& issue, const std::string& codeAvant,
                            std::size_t maximum) {
    exiger(issue.reponses.size() <= maximum);
    for (const auto& r : issue.reponses) {
      bool connue = false;
      for (auto& s : sources) {
        if (s.point != r.vers) continue;
        connue = s.aParle;
        hostiles.retenir(r.message);
        if (auto suite = s.initiateur().recevoir(r.message)) hostiles.retenir(*suite);
      }
      exiger(connue);
    }
    if (issue.appairage) {
      bool essaye = false;
      for (auto& s : sources)
        essaye |= s.point == issue.appairage->source && s.codesEssayes.contains(codeAvant);
      exiger(essaye);
      exiger(fixe ? guichet.codeEpuise() : guichet.code().chiffres() != codeAvant);
    }
    exiger(guichet.pauseRestanteNs(t) <= PolitiqueAppairage::pauseMaxNs);
  };

  while (fdp.remaining_bytes() > 0) {
    const std::string codeAvant = guichet.code().chiffres();
    switch (fdp.ConsumeIntegralInRange(0, 4)) {
      case 0:
        t += fdp.ConsumeIntegralInRange<InstantNs>(0, 12'000'000'000);
        break;
      case 1:
        verifier(guichet.surveiller(t), codeAvant, 1);
        break;
      case 2:
        nouvelInitiateur(sources[fdp.ConsumeIntegralInRange<std::size_t>(0, 2)]);
        break;
      default: {
        Source& s = sources[fdp.ConsumeIntegralInRange<std::size_t>(0, 2)];
        std::optional<MessagePasskey> m = s.initiateur().dernierMessage();
        if (fdp.ConsumeBool()) m = hostiles.suivant(m->tentative());
        if (!m) break;
        s.aParle = true;
        hostiles.retenir(*m);
        verifier(guichet.recevoir(*m, s.point, t), codeAvant, 3);
      }
    }
  }
}

// La reprise d'un appairage mémorisé. Premier octet pair : le décodeur, dont tout message
// accepté se réencode en exactement les octets lus. Impair : un répondeur face à de vrais
// initiateurs (un nouveau de temps en temps), sous la même PSK ou une autre, et à des messages
// hostiles, dans les deux sens. `Reussi` et `Echoue` sont définitifs ; un message répété reçoit
// la même réponse sans rien tirer ; un côté n'est `Reussi` que sous la même PSK, et le
// récepteur seulement face à un initiateur réussi dont la liaison est la sienne.
void reprise(VueOctets e) {
  using M = MessageReprise;
  using RI = RepriseInitiateur;
  using RR = RepriseRepondeur;
  if (e.empty()) return;
  if (e[0] % 2 == 0) {
    formeUnique<M>(e.subspan(1));
    return;
  }
  const auto fini = [](const RR::Etat& etat) {
    return std::holds_alternative<RR::Reussi>(etat) || std::holds_alternative<RR::Echoue>(etat);
  };
  FuzzedDataProvider fdp(e.data() + 1, e.size() - 1);
  SecretPaire paire;
  paire.identifiant.fill(7);
  paire.psk.octets().fill(1);
  SecretPaire retenue = paire;
  const bool memeSecret = fdp.ConsumeBool();
  if (!memeSecret) retenue.psk.octets()[31] ^= 1;
  auto hasard = std::make_shared<HasardDeterministe>(fdp.ConsumeIntegral<std::uint8_t>());
  const auto nouveauRepondeur = [&] {
    return std::make_unique<RR>(
        [&](const IdentifiantPaire& id) {
          return id == retenue.identifiant ? std::optional(retenue) : std::nullopt;
        },
        hasard);
  };
  auto repondeur = nouveauRepondeur();
  std::uint64_t graine = 1000;
  std::vector<std::unique_ptr<RI>> initiateurs;
  initiateurs.push_back(
      std::make_unique<RI>(paire, std::make_shared<HasardDeterministe>(graine++)));
  Hostiles<M> hostiles(fdp);  // fabriqué : le premier message d'un initiateur quelconque

  while (fdp.remaining_bytes() > 0) {
    std::optional<M> m = initiateurs.back()->dernierMessage();
    bool versInitiateur = false;
    const int pas = fdp.ConsumeIntegralInRange(0, 6);
    if (pas == 0) {
      repondeur = nouveauRepondeur();  // le guichet jette une tentative muette
      continue;
    }
    if (pas == 1) {
      if (initiateurs.size() < 8)
        initiateurs.push_back(
            std::make_unique<RI>(paire, std::make_shared<HasardDeterministe>(graine++)));
      continue;
    }
    if (pas <= 4) {
      m = hostiles.suivant([&] {
        return std::optional(
            initiateurs[fdp.ConsumeIntegralInRange<std::size_t>(0, initiateurs.size() - 1)]
                ->dernierMessage());
      });
      versInitiateur = fdp.ConsumeBool();
    }
    if (!m) continue;
    hostiles.retenir(*m);

    if (versInitiateur) {
      auto& i = *initiateurs[fdp.ConsumeIntegralInRange<std::size_t>(0, initiateurs.size() - 1)];
      const RI::Etat avant = i.etat();
      const auto reponse = i.recevoir(*m);
      exiger(std::holds_alternative<RI::EnCours>(avant) || i.etat() == avant);
      exiger(i.recevoir(*m) == reponse);
      exiger(memeSecret || !std::holds_alternative<RI::Reussi>(i.etat()));
      continue;
    }
    const RR::Etat avant = repondeur->etat();
    const auto reponse = repondeur->recevoir(*m);
    if (fini(avant)) exiger(repondeur->etat() == avant);
    exiger(encore(*repondeur, *m, *hasard) == reponse);
    if (const auto* r = std::get_if<RR::Reussi>(&repondeur->etat()); r && !fini(avant)) {
      exiger(memeSecret && std::ranges::any_of(initiateurs, [&](const auto& i) {
               const auto* ri = std::get_if<RI::Reussi>(&i->etat());
               return ri && lies(ri->liaison, r->liaison) && lies(r->liaison, ri->liaison);
             }));
    }
    if (reponse) {
      hostiles.retenir(*reponse);
      (void)initiateurs.back()->recevoir(*reponse);
    }
  }
}

// --- Récepteur.
//
// Le point d'entrée des datagrammes du récepteur, appairé d'emblée : les clés viennent d'un
// tirage déterministe fait une fois, sans rejouer l'appairage à chaque entrée. Une entrée est
// une suite de pas (`fuzz/graines.cpp` en écrit) : datagrammes bruts, contenus que l'émetteur
// scelle en audio ou en horloge sous la vraie clé, rejeux et tics, de l'expéditeur ou d'une
// source étrangère. Vérifie : jamais plus de trois datagrammes rendus à la fois, une file qui
// reste dans sa capacité, des compteurs cohérents, et le rendu qui tire toujours. Rendus et
// arrivées s'entremêlent : désordre, pertes, retards, sauts et rattrapages.
//
// Un pas : sorte (1 octet, bit 7 : d'une source étrangère), attente (1 octet, × 0,2 ms), puis
// selon sorte % 5 : 0 brut, 1 audio, 2 horloge : longueur (2 octets) et octets ; 3 rejeu :
// rang (1 octet) ; 4 tic : trames à rendre (2 octets).
void recepteur(VueOctets e) {
  // Les clés des deux sens, un tirage déterministe fait une fois ; la file (4 Mo) sert à toutes
  // les entrées, remise à neuf au début de chacune : la construire coûtait plus que l'entrée.
  static const Octets cles = HasardDeterministe(39).octetsAleatoires(64);
  static const auto lecture = std::make_shared<FileLecture>(960, true);
  const auto cle = [](std::size_t debut) {
    Cle c{};
    std::copy_n(cles.begin() + static_cast<std::ptrdiff_t>(debut), c.size(), c.begin());
    return c;
  };
  // Rien de l'entrée d'avant : la file remise à neuf se voit comme une neuve.
  static const FileLecture::Etat neuve = FileLecture(960, true).etat();
  const PointReseau etranger{"127.0.0.9", 40009};
  LecteurOctets lecteur(e);
  lecture->remettreANeuf(960);
  exiger(lecture->etat() == neuve);
  Recepteur recepteur(reglagesAppaires(), lecture);
  recepteur.adopter(Liaison::nouvelle(cle(32), cle(0)), sourceAppairee);
  recepteur.permettreCodeParle(true);
  Scelleur emetteur(cle(0));
  std::optional<InstantNs> codeDit;

  InstantNs maintenant = 1'000'000'000;
  std::vector<Octets> vus;
  std::vector<float> gauche(2048), droite(2048);
  while (const auto sorte = lecteur.lire<std::uint8_t>()) {
    maintenant += lecteur.lire<std::uint8_t>().value_or(0) * InstantNs{200'000};
    const PointReseau& source = (*sorte & 0x80) != 0 ? etranger : sourceAppairee;
    const int pas = *sorte % 5;
    if (pas == 4) {  // tic
      exiger(recepteur.cadencer(maintenant).size() <= 2);
      const std::int64_t n = 1 + lecteur.lire<std::uint16_t>().value_or(0) % 2048;
      (void)lecture->peutRendre(n);
      exiger(lecture->tirer(n, gauche, droite, maintenant).rendues <= n);
      continue;
    }
    Octets datagramme;
    if (pas == 3) {  // rejeu
      const auto rang = lecteur.lire<std::uint8_t>().value_or(0);
      if (!vus.empty()) datagramme = vus[rang % vus.size()];
    } else {
      const auto n = lecteur.lire<std::uint16_t>().value_or(0);
      const auto octets = lecteur.prendre(std::min<std::size_t>(n, lecteur.reste()));
      datagramme.assign(octets->begin(), octets->end());
      const auto enveloppe = pas == 1 ? SorteEnveloppe::audio : SorteEnveloppe::horloge;
      if (pas != 0) datagramme = emetteur.sceller(datagramme, enveloppe).value_or(datagramme);
    }
    const auto envois = recepteur.recevoir(datagramme, source, maintenant);
    exiger(envois.size() <= 3);
    // Une demande d'entendre le code n'a pas de réponse ; deux ne se disent pas à moins de 8 s.
    exiger(!DemandeCode::est(datagramme) || envois.empty());
    if (recepteur.prendreCodeADire()) {
      exiger(!codeDit || ecartNs(maintenant, *codeDit) >= LimiteCodeParle::intervalleNs);
      codeDit = maintenant;
    }
    recepteur.noterParole((*sorte & 0x40) != 0);
    if (vus.size() < 64) vus.push_back(std::move(datagramme));
    const auto etat = lecture->etat();
    exiger(etat.reserveTrames >= 0 &&
           etat.reserveTrames <= FileLecture::casiers * FileLecture::tramesMaxParCasier);
  }
  const auto c = recepteur.compteurs();
  exiger(c.appairages == 1 && c.paquetsRecus >= 0 && c.paquetsPerdus >= 0 &&
         c.paquetsReordonnes <= c.paquetsRecus && c.enveloppesRefusees >= 0);
}

}  // namespace ravlo::cibles
