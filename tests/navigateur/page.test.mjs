// SPDX-License-Identifier: MPL-2.0
// Ce que la page décide sans navigateur (link/ressources/page/logique.mjs) : le nom qu'elle
// donne à l'ordinateur, sa langue et ses textes, son bonjour, l'état publié, l'heure de
// sortie passée au noyau, l'attente avant de se reconnecter.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { TEXTES, choisirLangue, delaiReconnexion, etatPage, heureSortieMs, messageBonjour,
         nomNavigateur, texte } from '../../link/ressources/page/logique.mjs';

const UA = {
  iphoneSafari: 'Mozilla/5.0 (iPhone; CPU iPhone OS 17_5 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.5 Mobile/15E148 Safari/604.1',
  iphoneChrome: 'Mozilla/5.0 (iPhone; CPU iPhone OS 17_5 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) CriOS/126.0.6478.54 Mobile/15E148 Safari/604.1',
  iphoneFirefox: 'Mozilla/5.0 (iPhone; CPU iPhone OS 17_5 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) FxiOS/127.0 Mobile/15E148 Safari/605.1.15',
  ipadOS: 'Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.5 Safari/605.1.15',
  androidChrome: 'Mozilla/5.0 (Linux; Android 10; K) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/126.0.0.0 Mobile Safari/537.36',
  androidFirefox: 'Mozilla/5.0 (Android 14; Mobile; rv:127.0) Gecko/127.0 Firefox/127.0',
  samsung: 'Mozilla/5.0 (Linux; Android 14; SAMSUNG SM-S911B) AppleWebKit/537.36 (KHTML, like Gecko) SamsungBrowser/25.0 Chrome/121.0.0.0 Mobile Safari/537.36',
  androidEdge: 'Mozilla/5.0 (Linux; Android 10; K) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/126.0.0.0 Mobile Safari/537.36 EdgA/126.0.0.0',
  linuxChromium: 'Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/156.0.0.0 Safari/537.36',
  windowsEdge: 'Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/126.0.0.0 Safari/537.36 Edg/126.0.0.0',
};
const marques = (...noms) => noms.map((brand) => ({ brand, version: '126' }));

test('le nom de la page dit l’appareil et le navigateur', () => {
  const cas = [
    [UA.iphoneSafari, {}, 'iPhone — Safari'],
    [UA.iphoneChrome, {}, 'iPhone — Chrome'],
    [UA.iphoneFirefox, {}, 'iPhone — Firefox'],
    [UA.ipadOS, { pointsTactiles: 5 }, 'iPad — Safari'],
    [UA.ipadOS, { pointsTactiles: 0 }, 'Mac — Safari'],
    [UA.androidChrome, {}, 'Android — Chrome'],
    [UA.androidFirefox, {}, 'Android — Firefox'],
    [UA.samsung, {}, 'Android — Samsung Internet'],
    [UA.androidEdge, {}, 'Android — Edge'],
    [UA.windowsEdge, {}, 'Windows — Edge'],
    // Chromium réduit la chaîne à « Chrome » ; ses indices structurés disent la vérité.
    [UA.linuxChromium, { uaData: { platform: 'Linux', brands: marques('Not.A/Brand', 'Chromium') } },
      'Linux — Chromium'],
    [UA.androidChrome, { uaData: { platform: 'Android',
      brands: marques('Chromium', 'Google Chrome', 'Not-A.Brand') } }, 'Android — Chrome'],
    [UA.linuxChromium, {}, 'Linux — Chrome'],
    ['', { inconnu: 'Browser' }, 'Browser'],
    [undefined, {}, 'Navigateur'],
  ];
  for (const [ua, options, attendu] of cas) {
    assert.equal(nomNavigateur(ua, options), attendu, `${ua} ${JSON.stringify(options)}`);
  }
});

test('la langue suit le navigateur : le français pour fr*, l’anglais sinon', () => {
  const cas = [['fr', 'fr'], ['fr-FR', 'fr'], ['FR-ca', 'fr'], ['fr_BE', 'fr'], ['en-US', 'en'],
    ['de-DE', 'en'], ['fy', 'en'], ['fra', 'en'], ['', 'en'], [undefined, 'en']];
  for (const [langue, attendu] of cas) assert.equal(choisirLangue(langue), attendu, langue);
});

test('chaque texte existe dans les deux langues, avec les mêmes champs à remplir', () => {
  const champs = (s) => [...s.matchAll(/\{(\w+)\}/g)].map((m) => m[1]).sort();
  assert.deepEqual(Object.keys(TEXTES.en).sort(), Object.keys(TEXTES.fr).sort());
  for (const cle of Object.keys(TEXTES.fr)) {
    assert.ok(TEXTES.fr[cle] && TEXTES.en[cle], cle);
    assert.deepEqual(champs(TEXTES.en[cle]), champs(TEXTES.fr[cle]), cle);
  }
  assert.equal(texte('fr', 'latence', { ms: 42 }), 'Retard : 42 ms');
  assert.equal(texte('en', 'codeLu', { chiffres: '1 2 3 4' }), 'Code: 1 2 3 4');
});

test('le bonjour est celui que lit l’ordinateur, et un nom ne peut pas y glisser une ligne', () => {
  assert.equal(messageBonjour('iPhone — Safari', 'fr-FR'),
    'ravlo-page 1\nnom=iPhone — Safari\nlangue=fr-FR');
  const piege = messageBonjour('X\nlangue=de\r\nreprise=1', 'en', { id: 'ab' });
  assert.deepEqual(piege.split('\n'), ['ravlo-page 1', 'nom=X langue=de reprise=1', 'langue=en',
    'id=ab']);
});

test('l’état publié suit la phase, la connexion et le noyau', () => {
  const cas = [
    [{ phase: 'attente', connecte: false }, 'attente'],
    [{ phase: 'demarre', connecte: false }, 'attente'],
    [{ phase: 'demarre', connecte: true, etatNoyau: 'codeAttendu' }, 'code'],
    [{ phase: 'demarre', connecte: true, etatNoyau: 'appaire' }, 'appaire'],
    [{ phase: 'demarre', connecte: true, etatNoyau: 'lecture' }, 'lecture'],
    [{ phase: 'demarre', connecte: false, perdu: true, etatNoyau: 'lecture' }, 'deconnecte'],
    [{ phase: 'demarre', connecte: false, perdu: true, etatNoyau: 'codeAttendu' }, 'deconnecte'],
    [{ phase: 'demarre', connecte: true, etatNoyau: 'fini' }, 'fini'],
    [{ phase: 'demarre', connecte: false, perdu: true, etatNoyau: 'fini' }, 'fini'],
    [{ phase: 'fini', connecte: false, etatNoyau: null }, 'fini'],
    [{ phase: 'demarre', connecte: true, etatNoyau: 'lecture', sonCoupe: true }, 'suspendu'],
    [{ phase: 'demarre', connecte: false, perdu: true, etatNoyau: 'lecture', sonCoupe: true }, 'suspendu'],
    [{ phase: 'demarre', connecte: true, etatNoyau: 'fini', sonCoupe: true }, 'fini'],
    [{ phase: 'fini', connecte: false, sonCoupe: true }, 'fini'],
  ];
  for (const [entree, attendu] of cas) assert.equal(etatPage(entree), attendu, JSON.stringify(entree));
});

test('l’heure de sortie : celle du haut-parleur quand le contexte la donne, sinon ses latences', () => {
  // Le haut-parleur joue l'instant 10 s du contexte à 5000 ms de la page ; le bloc part à 10,02 s.
  assert.equal(heureSortieMs({ heureBloc: 10.02, horodatage: { contextTime: 10, performanceTime: 5000 },
    maintenantMs: 4990, heureContexte: 10.03, latenceBase: 0.01, latenceSortie: 0.04 }), 5020);
  // Avant que le contexte ne joue, son horodatage est nul : les latences prennent le relais.
  const sans = heureSortieMs({ heureBloc: 0.5, horodatage: { contextTime: 0, performanceTime: 0 },
    maintenantMs: 1000, heureContexte: 0.49, latenceBase: 0.005, latenceSortie: 0.02 });
  assert.ok(Math.abs(sans - 1035) < 1e-9, String(sans));
  // Une heure de page nulle n'est pas tenue, même si celle du contexte l'est.
  const moitie = heureSortieMs({ heureBloc: 0.5, horodatage: { contextTime: 0.4, performanceTime: 0 },
    maintenantMs: 1000, heureContexte: 0.49, latenceBase: 0.005, latenceSortie: 0.02 });
  assert.ok(Math.abs(moitie - 1035) < 1e-9, String(moitie));
  assert.ok(Math.abs(heureSortieMs({ heureBloc: 2, maintenantMs: 100, heureContexte: 2 }) - 100) < 1e-9);
});

test('la reconnexion est prompte d’abord, puis s’espace sans dépasser 10 s', () => {
  const bas = () => 0;
  const haut = () => 0.999;
  assert.ok(delaiReconnexion(0, haut) <= 500, 'premier essai lent');
  assert.ok(delaiReconnexion(0, bas) > 0);
  for (let essai = 1; essai < 40; essai++) {
    assert.ok(delaiReconnexion(essai, bas) >= delaiReconnexion(essai - 1, bas), `essai ${essai}`);
    assert.ok(delaiReconnexion(essai, haut) <= 10_000, `essai ${essai}`);
  }
  assert.ok(delaiReconnexion(39, bas) >= 4000, 'des essais trop serrés sans fin');
});
