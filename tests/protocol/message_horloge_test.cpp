#include "protocol/message_horloge.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

using Cas = CasErreurMessageHorloge;

TEST(MessageHorloge, QuestionSurLeFil) {
  const Octets octets = MessageHorloge::question(0x0102030405060708).encoder();
  const Octets attendu{'R', 'C', 1, 0, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0,
                       0,   0,   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(octets, attendu);
}

TEST(MessageHorloge, ReponseRecopieLaQuestionEtSeRelitEgale) {
  const MessageHorloge question = MessageHorloge::question(UINT64_MAX);
  const MessageHorloge reponse = question.reponse(0x1112131415161718, 0x2122232425262728);
  EXPECT_EQ(reponse, (MessageHorloge{MessageHorloge::Sorte::reponse, UINT64_MAX, 0x1112131415161718,
                                     0x2122232425262728}));
  const Octets octets = reponse.encoder();
  ASSERT_EQ(octets.size(), 28u);
  EXPECT_EQ(octets[3], 1);
  EXPECT_EQ(octets[12], 0x18);
  EXPECT_EQ(octets[27], 0x21);
  EXPECT_EQ(MessageHorloge::lire(octets), reponse);
  EXPECT_EQ(MessageHorloge::lire(question.encoder()), question);
}

TEST(MessageHorloge, ToutesLesLongueursFaussesSontRefusees) {
  Octets octets = MessageHorloge::question(42).encoder();
  octets.resize(64, 0);
  for (std::size_t n = 0; n <= octets.size(); ++n) {
    if (n == 28) continue;
    EXPECT_EQ(MessageHorloge::lire(VueOctets(octets).first(n)),
              std::unexpected(ErreurMessageHorloge{Cas::tailleInvalide}))
        << n << " octets";
  }
}

TEST(MessageHorloge, LaPremiereRegleRompueEstRapportee) {
  const Octets juste = MessageHorloge::question(7).reponse(8, 9).encoder();
  auto avec = [&](std::size_t i, std::uint8_t valeur) {
    Octets o = juste;
    o[i] = valeur;
    return o;
  };
  // Signature fausse, version et sorte aussi : la signature passe avant.
  Octets tout = avec(0, 'X');
  tout[2] = 9;
  tout[3] = 9;
  EXPECT_EQ(MessageHorloge::lire(tout),
            std::unexpected(ErreurMessageHorloge{Cas::signatureInvalide}));
  EXPECT_EQ(MessageHorloge::lire(avec(1, 'V')),
            std::unexpected(ErreurMessageHorloge{Cas::signatureInvalide}))
      << "\"RV\" n'est pas une horloge";
  for (std::uint8_t v : {0, 2, 255}) {
    Octets o = avec(2, v);
    o[3] = 7;
    EXPECT_EQ(MessageHorloge::lire(o),
              std::unexpected(ErreurMessageHorloge{Cas::versionInconnue, v}))
        << "la version passe avant la sorte";
  }
  for (std::uint8_t s : {2, 128, 255}) {
    EXPECT_EQ(MessageHorloge::lire(avec(3, s)),
              std::unexpected(ErreurMessageHorloge{Cas::sorteInconnue, s}));
  }
  EXPECT_EQ(MessageHorloge::lire(avec(3, 0))->sorte, MessageHorloge::Sorte::question);
}

}  // namespace
}  // namespace ravlo
