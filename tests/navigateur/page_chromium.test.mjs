// SPDX-License-Identifier: MPL-2.0
// La page de réception dans un vrai Chromium, face à `ravlo-envoi --navigateur --ton 440`, sur
// une adresse qui n'est pas la boucle locale (la page n'y est pas un contexte sûr, comme sur un
// téléphone) : un code faux est refusé et la page en montre un neuf ; le bon appaire ; la
// sortie du PulseAudio privé reçoit le ton à son niveau, 20 s durant, sans trou ni
// discontinuité que la machine n'explique ; « Arrêter » met fin à la voie de l'émetteur.
// Lancé par ctest à travers tests/navigateur/chromium.sh : RAVLO_ENVOI, RAVLO_TON_CONTINU.
import { after, test } from 'node:test';
import assert from 'node:assert/strict';
import { attendreQue, compterSortiesASec, lancer, lancerChromium, sonderSortie, suivreTon }
  from './chromium_outils.mjs';

const CRETE = 0.5;  // --ton joue à −6 dBFS
const SECONDES = 20;
// Les lignes de l'émetteur dans sa langue source.
const FRANCAIS = { LANGUAGE: undefined, LC_ALL: undefined, LC_MESSAGES: undefined, LANG: undefined };

const aFermer = [];
after(async () => { for (const f of aFermer.reverse()) await f(); });

const etat = (page) => page.evaluate(() => window.ravloEtat);
const code = async (page) => (await page.locator('#code').textContent())?.replace(/\D/g, '');

test('la page dans Chromium : refus, appairage, ton sans trou, Arrêter', async () => {
  const envoi = lancer(process.env.RAVLO_ENVOI, ['--navigateur', '--port-web', '0', '--ton', '440'],
    { env: FRANCAIS });
  aFermer.push(() => envoi.arreter());
  const port = (await envoi.ligne(/^Page servie sur le port \d+/)).match(/\d+/)[0];
  // L'adresse que l'émetteur montre est celle de l'interface de l'espace de noms.
  const adresse = `http://${process.env.RAVLO_NAV_ADRESSE}:${port}/`;
  await envoi.ligne({ test: (l) => l.includes(adresse) });

  const { navigateur, contexte, page, journal } = await lancerChromium();
  aFermer.push(() => navigateur.close());
  await sonderSortie(contexte);
  const diagnostic = () => `\németteur :\n${envoi.texte()}\npage :\n${journal.join('\n')}`;

  await page.goto(adresse);
  assert.equal(await page.evaluate(() => window.isSecureContext), false,
    'la page doit être servie comme à un téléphone : hors contexte sûr');
  await attendreQue(async () => (await etat(page)) === 'attente', { quoi: 'la page au repos' });

  // Comme un utilisateur : un toucher sur « Écouter », puis le code que la page montre.
  await page.click('#ecouter');
  await envoi.ligne(/^Téléphone connecté : /);
  await attendreQue(async () => (await etat(page)) === 'code', { quoi: 'le code' + diagnostic() });
  const premier = await code(page);
  assert.match(premier, /^\d{4}$/);

  // Un code faux : refusé, et la page en tire un neuf.
  const faux = String((Number(premier) + 5000) % 10000).padStart(4, '0');
  let depuis = envoi.lignes.length;
  envoi.ecrire(`${faux}\n`);
  await envoi.ligne(/refusé/i, { depuis });
  const second = await attendreQue(async () => {
    const c = await code(page);
    return (await etat(page)) === 'code' && /^\d{4}$/.test(c) && c !== premier && c;
  }, { quoi: 'un nouveau code après le refus' + diagnostic() });
  assert.equal(envoi.statut, null, `l'émetteur attend encore un code${diagnostic()}`);

  // Le bon : le ton arrive à la sortie, à son niveau, sans trou.
  const suivi = suivreTon('speakers', { secondes: SECONDES, niveau: CRETE });
  const sortiesASec = compterSortiesASec();
  aFermer.push(() => suivi.arreter());
  depuis = envoi.lignes.length;
  const tape = Date.now();
  envoi.ecrire(`${second}\n`);
  await envoi.ligne(/^Appairé/, { depuis });
  await attendreQue(async () => (await etat(page)) === 'lecture', { quoi: 'la lecture' + diagnostic() });
  const enLecture = Date.now() - tape;
  const v = await suivi.verdict;
  v.sortiesASec = sortiesASec();
  v.sonde = await page.evaluate(() => window.ravloSonde);
  const c = await page.evaluate(() => window.ravloCompteurs());
  v.compteurs = { tardifs: c.paquetsTardifs, perdus: c.paquetsPerdus, trous: c.trous,
                  rattrapages: c.rattrapages, cibleMs: c.cibleMs, latenceMs: c.latenceMs };
  console.log(`code tapé → lecture : ${enLecture} ms ; ton : ${JSON.stringify(v)}`);
  assert.equal(v.code, 0, `le ton n'est pas venu ou s'est interrompu : ${JSON.stringify(v)}${diagnostic()}`);
  // Ce que la machine explique : chaque fois que le flux de Chromium a été à sec au serveur de
  // son, et chaque paquet arrivé à la page après son heure (son fil a calé), ouvre au plus un
  // trou. Sur une machine qui ne cale pas, rien n'est à sec ni en retard : aucun trou permis.
  // Un calage retarde une poignée de paquets ; une page qui en perd davantage est en faute. Un
  // paquet en retard manque aussi à son heure : il est compté perdu puis tardif, une fois ici.
  assert.ok(c.paquetsPerdus <= 15, `paquets en retard ou perdus : ${JSON.stringify(v)}`);
  const expliques = v.sortiesASec + c.paquetsTardifs + c.paquetsPerdus;
  assert.ok(v.trous <= expliques && v.trousMs <= 100 * expliques,
    `trous que la machine n'explique pas : ${JSON.stringify(v)}`);
  // Un trou coupe le ton à son début et à sa fin, un rattrapage saute en fondu.
  assert.ok(v.discontinuites <= 6 * (expliques + c.rattrapages),
    `discontinuités que la machine n'explique pas : ${JSON.stringify(v)}`);
  const efficace = CRETE / Math.SQRT2;  // à ±1 dB
  assert.ok(v.efficaceMediane > efficace * 0.89 && v.efficaceMax < efficace * 1.12,
    `niveau ${v.efficaceMediane} (médian) … ${v.efficaceMax}, attendu ${efficace.toFixed(3)}`);

  // « Arrêter » : la fin part, la voie de l'émetteur se termine.
  depuis = envoi.lignes.length;
  await page.click('#arreter');
  await attendreQue(async () => (await etat(page)) === 'fini', { quoi: 'la page finie' + diagnostic() });
  await envoi.ligne(/a arrêté la lecture/, { depuis });
  assert.deepEqual(await envoi.fin, { code: 0, signal: null }, `l'envoi finit avec sa seule voie${diagnostic()}`);
});
