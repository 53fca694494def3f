#!/usr/bin/env python3
# SPDX-License-Identifier: MPL-2.0
# L'autre bout de la reprise joué par dissononce, implémentation indépendante de Noise, pour
# l'essai d'interopérabilité. Fonction pure de ses arguments (hex) : chaque appel rejoue la
# poignée depuis le début avec la clé éphémère donnée, puis écrit ses sorties « nom hex ».
#   repondeur PSK PROLOGUE EPRIV OUVERTURE [PREUVE ENTETE_IR CHIFFRE_IR ENTETE_RI CLAIR]
#   initiateur PSK PROLOGUE EPRIV [REPONSE ENTETE_IR CLAIR]
# Une enveloppe est un message de transport : son en-tête en donnée associée, son compteur
# pour numéro. Sortie 3 : dissononce absent ; 1 : une étiquette refusée.
import sys

try:
    from dissononce.cipher.chachapoly import ChaChaPolyCipher
    from dissononce.dh.private import PrivateKey
    from dissononce.dh.x25519.x25519 import X25519DH
    from dissononce.hash.sha256 import SHA256Hash
    from dissononce.processing.handshakepatterns.interactive.NN import NNHandshakePattern
    from dissononce.processing.impl.cipherstate import CipherState
    from dissononce.processing.impl.handshakestate import HandshakeState
    from dissononce.processing.impl.symmetricstate import SymmetricState
    from dissononce.processing.modifiers.psk import PSKPatternModifier
except ImportError:
    sys.exit(3)


class EphemereFixe(X25519DH):
    def __init__(self, prive):
        super().__init__()
        self._prive = prive

    def generate_keypair(self, privatekey=None):
        return super().generate_keypair(PrivateKey(self._prive))


def poignee(initiateur, psk, prologue, prive):
    etat = HandshakeState(
        SymmetricState(CipherState(ChaChaPolyCipher()), SHA256Hash()), EphemereFixe(prive))
    motif = PSKPatternModifier(0).modify(NNHandshakePattern())
    etat.initialize(motif, initiateur, prologue, psks=(psk,))
    assert etat.protocol_name == "Noise_NNpsk0_25519_ChaChaPoly_SHA256", etat.protocol_name
    return etat


def sceller(etat, entete, clair):
    etat.set_nonce(int.from_bytes(entete[4:12], "little"))
    return etat.encrypt_with_ad(entete, clair)


def ouvrir(etat, entete, chiffre):
    etat.set_nonce(int.from_bytes(entete[4:12], "little"))
    return etat.decrypt_with_ad(entete, chiffre)


def main(role, *args):
    a = [bytes.fromhex(x) for x in args]
    psk, prologue, prive = a[0], a[1], a[2]
    etat = poignee(role == "initiateur", psk, prologue, prive)
    sortie = bytearray()
    if role == "repondeur":
        etat.read_message(a[3], bytearray())
        c1, c2 = etat.write_message(b"", sortie)
        print("reponse", sortie.hex())
        if len(a) > 4:
            c1.decrypt_with_ad(b"", a[4])  # la preuve : n = 0, ad vide
            print("clair_ir", ouvrir(c1, a[5], a[6]).hex())
            print("chiffre_ri", sceller(c2, a[7], a[8]).hex())
        return
    etat.write_message(b"", sortie)
    print("ouverture", sortie.hex())
    if len(a) > 3:
        c1, c2 = etat.read_message(a[3], bytearray())
        print("preuve", c1.encrypt_with_ad(b"", b"").hex())
        print("chiffre_ir", sceller(c1, a[4], a[5]).hex())


if __name__ == "__main__":
    try:
        main(*sys.argv[1:])
    except Exception as erreur:  # une étiquette refusée, ou des arguments faux
        print("erreur", type(erreur).__name__, file=sys.stderr)
        sys.exit(1)
