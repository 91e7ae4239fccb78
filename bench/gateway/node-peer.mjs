// The do-it-yourself peer of vireo-gateway for the benchmark: what a site would write with
// express and gamedig, done with care. Statuses are cached for 5 seconds per server, queries for
// the same server share one promise, and only the servers named on the command line are queried.
// Usage: node node-peer.mjs PORT GAME:HOST:PORT...   (express and gamedig from node_modules)
import express from 'express';
import { GameDig } from 'gamedig';

const cacheMs = 5000;
const gameTypes = { q3: 'q3a', oa: 'openarena', et: 'wolfet', hl: 'hldm', cs: 'cs16', tf2: 'tf2',
                    cs2: 'counterstrike2', source: 'hldm' };
const [listenPort, ...allowed] = process.argv.slice(2);
const allowList = new Set(allowed.map(item => item.toLowerCase()));
const cache = new Map();  // "game:host:port" -> { at, promise }

function shape(game, host, port, result) {
  return {
    game, host, port: Number(port), state: 'online', name: result.name, map: result.map,
    players: result.numplayers ?? result.players.length, maxPlayers: Number(result.maxplayers),
    rows: result.players.map(p => ({ name: p.name ?? '', score: p.raw?.frags ?? 0,
                                     ping: p.raw?.ping ?? 0 })),
    queriedAt: new Date().toISOString(), stale: false, minRefresh: cacheMs / 1000,
  };
}

function status(game, host, port) {
  const key = `${game}:${host}:${port}`;
  const cached = cache.get(key);
  if (cached && Date.now() - cached.at < cacheMs) return cached;
  const entry = { at: Date.now() };
  entry.promise = GameDig.query({ type: gameTypes[game], host, port: Number(port),
                                  maxRetries: 0, socketTimeout: 1500 })
    .then(result => JSON.stringify(shape(game, host, port, result)))
    .catch(() => JSON.stringify({ game, host, port: Number(port), state: 'not answering',
                                  name: '', map: '', players: 0, maxPlayers: 0, rows: [],
                                  queriedAt: new Date().toISOString(), stale: false,
                                  minRefresh: cacheMs / 1000 }));
  cache.set(key, entry);
  return entry;
}

const app = express();
app.disable('x-powered-by');
app.get('/status.json', async (req, res) => {
  const game = String(req.query.game ?? '').toLowerCase();
  const { host, port } = req.query;
  if (!allowList.has(`${game}:${host}:${port}`)) {
    res.status(403).json({ error: 'not on the allow-list', state: 'not allowed' });
    return;
  }
  const entry = status(game, host, port);
  const body = await entry.promise;
  const left = Math.max(0, Math.ceil((entry.at + cacheMs - Date.now()) / 1000));
  res.set('Cache-Control', `public, max-age=${left}`).type('application/json').send(body);
});
app.listen(Number(listenPort), '127.0.0.1');
