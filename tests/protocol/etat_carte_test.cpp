#include "protocol/etat_carte.hpp"

#include <gtest/gtest.h>
#include <unordered_set>

#include "protocol/publication_carte.hpp"

namespace ravlo {
namespace {

TEST(EtatCarte, FormeAClesEtRelecture) {
  EXPECT_EQ((EtatCarte{.sonCoupe = true, .enPause = false}).encoder(),
            R"({"enPause":false,"sonCoupe":true})");
  std::unordered_set<EtatCarte> vus;
  for (bool sonCoupe : {false, true}) {
    for (bool enPause : {false, true}) {
      const EtatCarte etat{sonCoupe, enPause};
      EXPECT_EQ(EtatCarte::decoder(etat.encoder()), etat);
      vus.insert(etat);
    }
  }
  EXPECT_EQ(vus.size(), 4u);
  EXPECT_EQ(EtatCarte::decoder(R"( {"enPause": true, "autre": [1], "sonCoupe": false} )"),
            (EtatCarte{false, true}))
      << "les clés en trop s'ignorent";
}

TEST(EtatCarte, LectureExigeantesLesDeuxBooleens) {
  using E = ErreurEtatCarte;
  EXPECT_EQ(EtatCarte::decoder(R"({"sonCoupe":true})"), std::unexpected(E::cleManquante));
  EXPECT_EQ(EtatCarte::decoder(R"({"enPause":true})"), std::unexpected(E::cleManquante));
  EXPECT_EQ(EtatCarte::decoder(R"({"SonCoupe":true,"enPause":true})"),
            std::unexpected(E::cleManquante));
  EXPECT_EQ(EtatCarte::decoder(R"({"sonCoupe":1,"enPause":true})"),
            std::unexpected(E::pasUnBooleen));
  EXPECT_EQ(EtatCarte::decoder(R"({"sonCoupe":true,"enPause":null})"),
            std::unexpected(E::pasUnBooleen));
  EXPECT_EQ(EtatCarte::decoder(R"([true,false])"), std::unexpected(E::pasUnObjet));
  EXPECT_EQ(EtatCarte::decoder("true"), std::unexpected(E::pasUnObjet));
  for (const char* casse : {"", "{", R"({"sonCoupe":true,)", "{\"sonCoupe\xff\":true}"}) {
    EXPECT_EQ(EtatCarte::decoder(casse), std::unexpected(E::jsonInvalide)) << casse;
  }
}

TEST(PublicationCarte, SansDoublon) {
  PublicationCarte publication;
  EXPECT_EQ(publication.affiche(), std::nullopt);
  EXPECT_EQ(publication.publier({false, false}), (EtatCarte{false, false}));
  EXPECT_EQ(publication.publier({false, false}), std::nullopt);
  EXPECT_EQ(publication.publier({true, false}), (EtatCarte{true, false}));
  EXPECT_EQ(publication.affiche(), (EtatCarte{true, false}));
  EXPECT_EQ(publication.publier({false, false}), (EtatCarte{false, false}));
}

}  // namespace
}  // namespace ravlo
