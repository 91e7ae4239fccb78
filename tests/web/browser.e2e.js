// The script in a real headless chromium, driven through chromedriver, against the gateway (or,
// where it is not built, a stand-in that answers the same JSON) and a fake Quake III server.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs'), http = require('node:http'), dgram = require('node:dgram'), os = require('node:os'), path = require('node:path');
if (!['/usr/bin/chromium', '/usr/bin/chromedriver'].every(fs.existsSync) || !process.env.WEB_SNIPPET) process.exit(77);

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const web = path.join(__dirname, '../../web');
const game = { name: 'Vireo Test Arena', map: 'q3dm17', rows: [[31, 48, 'Baron'], [27, 62, 'Kestrel'], [22, 35, 'Jay']] };
const listen = (server) => new Promise((r) => server.listen(0, '127.0.0.1', () => r(server.address().port)));
const q3 = dgram.createSocket('udp4').on('message', (msg, peer) => q3.send(Buffer.from(`\xff\xff\xff\xffstatusResponse\n\\sv_hostname\\${game.name}\\mapname\\${game.map}\\sv_maxclients\\16\n` +
  game.rows.map(([s, p, n]) => `${s} ${p} "${n}"\n`).join(''), 'latin1'), peer.port, peer.address));
let asked = 0, real = fs.existsSync(process.env.VIREO_GATEWAY || '/nonexistent'), gwPort, gateway;
// In front of the gateway: counts the status requests the browser makes, and can be cut off.
const front = http.createServer((req, res) => {
  if (req.url.startsWith('/status.json')) asked++;
  if (real) return req.pipe(http.request({ port: gwPort, path: req.url, method: req.method, headers: req.headers }, (r) => (res.writeHead(r.statusCode, r.headers), r.pipe(res))));
  const file = { '/vireo.js': 'application/javascript', '/vireo.css': 'text/css' }[req.url];
  res.setHeader('Access-Control-Allow-Origin', '*');
  if (file) return res.writeHead(200, { 'Content-Type': file }).end(fs.readFileSync(path.join(web, req.url)));
  res.writeHead(200, { 'Content-Type': 'application/json; charset=utf-8', 'Cache-Control': 'max-age=0' }).end(JSON.stringify({ state: 'online', name: game.name, map: game.map,
    players: game.rows.length, maxPlayers: 16, rows: game.rows.map(([score, ping, name]) => ({ name, score, ping })), stale: false, minRefresh: 1 }));
});
let pages = {}; const site = http.createServer((req, res) => pages[req.url] ? res.writeHead(200, pages[req.url].headers).end(pages[req.url].html) : res.writeHead(404).end());

let driver, session;
async function wd(method, url, body) {
  const res = await fetch(`http://127.0.0.1:9515/session${session ? '/' + session : ''}${url}`, { method, body: body && JSON.stringify(body) });
  const json = await res.json();
  if (!res.ok) throw new Error(JSON.stringify(json.value).slice(0, 300));
  return json.value;
}
const run = (fn, ...args) => wd('POST', '/execute/sync', { script: `return (${fn})(...arguments)`, args });
async function until(fn, ...args) {
  for (let i = 0; i < 60; i++, await sleep(250)) { const v = await run(fn, ...args); if (v) return v; }
  assert.fail(`never true: ${fn}`);
}
const panels = () => [...document.querySelectorAll('.vireo')].map((p) => ({ title: p.querySelector('.vireo-title').textContent, state: p.querySelector('.vireo-state').textContent,
  summary: p.querySelector('.vireo-summary').textContent, rows: p.querySelectorAll('.vireo-row:not([hidden] *)').length, height: p.getBoundingClientRect().height,
  width: p.getBoundingClientRect().width, expanded: p.querySelector('button').getAttribute('aria-expanded') }));

test('pasted snippets become live panels', async (t) => {
  const qport = await new Promise((r) => q3.bind(0, '127.0.0.1', () => r(q3.address().port)));
  const port = await listen(front), sitePort = await listen(site);
  if (real) {
    gwPort = 20000 + (process.pid % 20000);
    gateway = spawn(process.env.VIREO_GATEWAY, ['--listen', `127.0.0.1:${gwPort}`, '--allow', `q3:127.0.0.1:${qport}`, '--min-refresh', '1', '--allow-origin', '*'], { stdio: 'inherit' });
    await sleep(500);
  }
  const snippet = (...a) => execFileSync(process.env.WEB_SNIPPET, a.map(String)).toString();
  const html = `<!doctype html><meta charset=utf-8><title>page</title><body>${snippet(118, 'q3', '127.0.0.1', qport, 1000, 1, 1740)}<p>between</p>` +
    `${snippet(43, 'Q3', '127.0.0.1', qport, 1000, 0, 1740)}<script src="http://127.0.0.1:${port}/vireo.js" defer></script>`;
  const src = `http://127.0.0.1:${port}`;
  pages = { '/plain': { html, headers: {} }, '/strict': { html, headers: { 'Content-Security-Policy': `default-src 'none'; script-src ${src}; style-src ${src}; connect-src ${src}` } } };
  driver = spawn('/usr/bin/chromedriver', ['--port=9515'], { stdio: 'ignore' });
  t.after(() => { driver.kill(); gateway?.kill(); q3.close(); site.close(); front.close(); });
  await sleep(500);
  const args = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking', '--disable-component-update',
    '--disable-sync', '--window-size=800,600', `--user-data-dir=${fs.mkdtempSync(path.join(os.tmpdir(), 'vireo-chromium-'))}`];
  session = (await wd('POST', '', { capabilities: { alwaysMatch: { 'goog:chromeOptions': { binary: '/usr/bin/chromium', args } } } })).sessionId;
  await wd('POST', '/goog/cdp/execute', { cmd: 'Page.addScriptToEvaluateOnNewDocument', params: { source: 'window.seen = []; document.addEventListener("securitypolicyviolation", (e) => seen.push([e.violatedDirective, e.blockedURI, e.sourceFile]))' } });

  // A strict page refuses the snippet's own style attributes and OBJECTs with or without the script.
  pages['/bare'] = { html: html.replace(/<script.*script>/, ''), headers: pages['/strict'].headers };
  const refused = () => seen.map(([directive, uri]) => directive + ' ' + uri).sort();
  await wd('POST', '/url', { url: `http://127.0.0.1:${sitePort}/bare` });
  await sleep(1000);
  const baseline = await run(refused);
  for (const page of ['/strict', '/plain']) {
    await wd('POST', '/url', { url: `http://127.0.0.1:${sitePort}${page}` });
    game.name = 'Vireo Test Arena'; game.map = 'q3dm17';
    await until(() => document.querySelectorAll('.vireo-title')[1]?.textContent === 'Vireo Test Arena');
    const [open, closed] = await run(panels);
    assert.deepEqual([open.rows, open.height, open.width, open.expanded, closed.rows, closed.height, closed.expanded], [3, 118, 514, 'true', 0, 43, 'false']);
    assert.match(open.summary, /^q3dm17 {2}· {2}3\/16 players {2}· {2}Quake III Arena/);
    assert.equal(await run(() => [...document.links].filter((a) => a.textContent === 'Get Vireo' && a.getBoundingClientRect().height > 0).length), 2);

    game.map = 'q3dm6';
    const before = asked;
    await until(() => document.querySelector('.vireo-summary').textContent.startsWith('q3dm6'));
    await sleep(3000);
    assert.ok(asked - before <= 6, `two panels of one server share one request a second, not ${asked - before} in about 4 s`);

    await run(() => document.querySelectorAll('.vireo button')[1].focus());
    await wd('POST', '/actions', { actions: [{ type: 'key', id: 'k', actions: [{ type: 'keyDown', value: '\uE007' }, { type: 'keyUp', value: '\uE007' }] }] });
    await until(() => document.querySelectorAll('.vireo-rows:not([hidden]) .vireo-row').length === 6);
    assert.deepEqual((await run(panels))[1].height, 116);
    assert.equal((await run(panels))[1].expanded, 'true');

    const hostile = '<img src=x onerror="window.pwned=1">\u202e' + 'A'.repeat(10240);
    game.name = hostile;
    await until((h) => document.querySelector('.vireo-title').textContent === h, hostile);
    assert.deepEqual(await run(() => [window.pwned, document.querySelectorAll('img').length]), [null, 0]);
    assert.deepEqual((await run(panels)).map((p) => p.width), [514, 514]);
    assert.deepEqual(await run(refused), page === '/strict' ? baseline : []);
  }

  front.closeAllConnections(); front.close();
  await until(() => [...document.querySelectorAll('.vireo-state')].every((s) => s.textContent === 'status unavailable'));
  await wd('DELETE', '');
});
