// ESLint for the web panel's script and its tests (scripts/lint installs ESLint into the build
// folder and runs it with this file). CommonJS, so that its requires find that folder's modules.
const js = require('@eslint/js');
const globals = require('globals');

module.exports = [
  js.configs.recommended,
  {
    files: ['web/**/*.js'],
    languageOptions: { ecmaVersion: 2022, sourceType: 'script', globals: { ...globals.browser, module: 'readonly' } },
    rules: { 'no-var': 'error', 'prefer-const': 'error', eqeqeq: ['error', 'smart'], strict: ['error', 'function'] }
  },
  {
    files: ['tests/web/**/*.js', 'tests/web/**/*.cjs', 'tests/peers/**/*.js'],
    // $$ and $1 are the browser test's helpers, put into each page it opens.
    languageOptions: { ecmaVersion: 2022, sourceType: 'commonjs', globals: { ...globals.node, ...globals.browser, $$: 'readonly', $1: 'readonly' } },
    rules: { 'no-var': 'error', 'prefer-const': 'error' }
  }
];
