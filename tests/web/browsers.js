// The two browsers the panel is tested in, behind one small interface: Debian's chromium through
// chromedriver (WebDriver, and CDP for what WebDriver lacks) and Debian's firefox-esr through
// Marionette, its own remote protocol (Debian has no geckodriver). Commands take Marionette's
// names; chromedriver's paths are looked up from them.
const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const fs = require('node:fs'), net = require('node:net'), os = require('node:os'), path = require('node:path');

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const profileDir = (name) => fs.mkdtempSync(path.join(os.tmpdir(), `vireo-${name}-`));
// The panels' insides, through their shadow roots, for the tests' scripts.
const HELPERS = 'const $$ = (sel) => [...document.querySelectorAll("vireo-status")].flatMap((h) => [...h.shadowRoot.querySelectorAll(sel)]), $1 = (sel) => $$(sel)[0];';

function session(name, send, stop) {
  return {
    name,
    go: (url) => send('WebDriver:Navigate', { url }),
    run: (fn, ...args) => send('WebDriver:ExecuteScript', { script: `${HELPERS} return (${fn})(...arguments)`, args }),
    size: (width, height) => send('WebDriver:SetWindowRect', { width, height }),
    pressEnter: () => send('WebDriver:PerformActions', { actions: [{ type: 'key', id: 'k', actions: [{ type: 'keyDown', value: '\uE007' }, { type: 'keyUp', value: '\uE007' }] }] }),
    screenshot: async () => Buffer.from(await send('WebDriver:TakeScreenshot', { full: false }), 'base64'),
    close: async () => { await send('WebDriver:DeleteSession', {}).catch(() => {}); stop(); },
    send
  };
}

const CHROMEDRIVER = {
  'WebDriver:Navigate': ['POST', '/url'], 'WebDriver:ExecuteScript': ['POST', '/execute/sync'],
  'WebDriver:SetWindowRect': ['POST', '/window/rect'], 'WebDriver:PerformActions': ['POST', '/actions'],
  'WebDriver:TakeScreenshot': ['GET', '/screenshot'], 'WebDriver:DeleteSession': ['DELETE', ''],
  cdp: ['POST', '/goog/cdp/execute']
};

async function chromium(port) {
  const driver = spawn('/usr/bin/chromedriver', [`--port=${port}`], { stdio: ['ignore', 'pipe', 'ignore'] });
  // It says so once it listens.
  await new Promise((resolve, reject) => {
    let said = '';
    driver.stdout.on('data', (d) => { said += d; if (said.includes('started successfully')) resolve(); });
    driver.on('exit', () => reject(new Error(`chromedriver ended: ${said}`)));
  });
  let url = `http://127.0.0.1:${port}/session`;
  const call = async (method, route, body) => {
    const res = await fetch(url + route, { method, body: method === 'GET' ? undefined : JSON.stringify(body) }), json = await res.json();
    if (!res.ok) throw new Error(JSON.stringify(json.value).slice(0, 300));
    return json.value;
  };
  const args = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking', '--disable-component-update',
    '--disable-sync', '--hide-scrollbars', '--window-size=800,700', `--user-data-dir=${profileDir('chromium')}`];
  url += '/' + (await call('POST', '', { capabilities: { alwaysMatch: { 'goog:chromeOptions': { binary: '/usr/bin/chromium', args } } } })).sessionId;
  const b = session('chromium', (name, params) => call(...CHROMEDRIVER[name], params), () => driver.kill());
  b.cdp = (cmd, params = {}) => call(...CHROMEDRIVER.cdp, { cmd, params });
  return b;
}

// Marionette: "length:json" frames; a command is [0, id, name, params], its answer [1, id, error, result].
async function firefox(port) {
  const profile = profileDir('firefox');
  fs.writeFileSync(path.join(profile, 'user.js'), [['marionette.port', port], ['browser.shell.checkDefaultBrowser', false],
    ['datareporting.policy.dataSubmissionEnabled', false], ['browser.aboutwelcome.enabled', false]].map(([k, v]) => `user_pref("${k}", ${v});\n`).join(''));
  const browser = spawn('/usr/bin/firefox-esr', ['--headless', '--marionette', '-remote-allow-system-access', '--no-remote', '--profile', profile], { stdio: 'ignore' });
  let socket;
  for (let i = 0; !socket && i < 150; i++) {
    socket = await new Promise((r) => { const s = net.connect(port, '127.0.0.1', () => r(s)).on('error', () => r(null)); });
    if (!socket) await sleep(200);  // Firefox tells nothing when Marionette listens: its port does
  }
  assert.ok(socket, 'firefox-esr never opened Marionette');
  let buffer = Buffer.alloc(0), serial = 0;
  const waiting = [];
  socket.on('data', (d) => {
    buffer = Buffer.concat([buffer, d]);
    for (let colon; (colon = buffer.indexOf(58)) > 0;) {
      const length = Number(buffer.subarray(0, colon)), end = colon + 1 + length;
      if (buffer.length < end) return;
      const message = JSON.parse(buffer.subarray(colon + 1, end));
      buffer = buffer.subarray(end);
      waiting.shift()(message);
    }
  });
  const frame = () => new Promise((r) => waiting.push(r));
  await frame();  // the greeting
  const send = async (name, params) => {
    const json = JSON.stringify([0, ++serial, name, params]), answer = frame();
    socket.write(Buffer.byteLength(json) + ':' + json);
    const [, , error, result] = await answer;
    if (error) throw new Error(`${name}: ${error.message}`.slice(0, 300));
    return result && Object.keys(result).length === 1 && 'value' in result ? result.value : result;
  };
  await send('WebDriver:NewSession', { capabilities: {} });
  const b = session('firefox', send, () => { socket.destroy(); browser.kill(); });
  // Firefox's "Zoom Text Only" and its minimum font size, as a reader sets them.
  b.inChrome = async (script) => {
    await send('Marionette:SetContext', { value: 'chrome' });
    try { return await send('WebDriver:ExecuteScript', { script, args: [] }); } finally { await send('Marionette:SetContext', { value: 'content' }); }
  };
  b.textZoom = (z) => b.inChrome(`gBrowser.selectedBrowser.browsingContext.textZoom = ${z};`);
  b.minimumFontSize = (px) => b.inChrome(`Services.prefs.setIntPref("font.minimum-size.x-western", ${px});`);
  // Its windows are at least 500 px wide: a phone's narrower page is the browser pane made narrower.
  b.size = async (width, height) => {
    await send('WebDriver:SetWindowRect', { width: Math.max(width, 500), height });
    await b.inChrome(`gBrowser.selectedBrowser.style.maxWidth = "${width}px";`);
    for (let i = 0; i < 50 && (await b.run(() => innerWidth)) !== width; i++) await sleep(100);
  };
  await b.size(800, 700);
  return b;
}

module.exports = { chromium, firefox, sleep };
