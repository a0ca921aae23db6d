// The settings page: loads the settings, the rules, the server's state and log through the page's calls, and
// stores what the user changes. Every change is a POST with the session token of the page.
'use strict';

const sessionToken = document.querySelector('meta[name="session-token"]').content;
let language = localStorage.getItem('language') || document.documentElement.lang;
let loadedValues = {};  // the settings as loaded: only changed fields are stored
let definitions = {};
let pairs = [];  // the rule editor's model
let stateTimer = 0;

function t(ja, en) { return language === 'en' ? en : ja; }

// ---- calls ----

async function call(path, body) {
  const options = body === undefined ? {} : {
    method: 'POST',
    headers: {'Content-Type': 'application/json', 'X-Session-Token': sessionToken},
    body: JSON.stringify(body),
  };
  const response = await fetch(path, options);
  let answer = {};
  try { answer = await response.json(); } catch (e) { answer = {error: response.statusText}; }
  return {ok: response.ok, status: response.status, body: answer};
}

function show(id, text, bad) {
  const element = document.getElementById(id);
  element.textContent = text;
  element.classList.toggle('bad', !!bad);
}

// ---- language ----

function applyLanguage() {
  document.documentElement.lang = language;
  for (const element of document.querySelectorAll('[data-en]')) {
    if (element.dataset.ja === undefined) element.dataset.ja = element.textContent;
    element.textContent = language === 'en' ? element.dataset.en : element.dataset.ja;
  }
  renderPairs();
}

// ---- state and log ----

async function loadState() {
  const {body} = await call('/api/state');
  const yesNo = (value) => (value ? t('はい', 'yes') : t('いいえ', 'no'));
  document.getElementById('Running').textContent = !body.reachable ? t('プロセスなし', 'no process')
    : body.running ? t('実行中', 'running') : t('停止中', 'stopped');
  document.getElementById('IsTranslating').textContent = body.reachable ? yesNo(body.translating) : '–';
  document.getElementById('HaveTranslateMail').textContent = body.reachable ? yesNo(body.haveTranslateMail) : '–';
  document.getElementById('Version').textContent = body.version || '–';
}

async function loadLog() {
  const {body} = await call('/api/log');
  document.getElementById('log-path').textContent = body.path;
  document.getElementById('log').textContent =
    body.lines.length ? body.lines.join('\n') : t('(ログはまだありません)', '(no log yet)');
}

async function serverAction(action) {
  show('server-message', t('実行中…', 'Working…'));
  const {ok, body} = await call('/api/server', {action});
  const done = {start: ['開始しました。', 'Started.'], stop: ['停止しました。', 'Stopped.'],
                collect: ['回収しました。', 'Collected.']}[action];
  const succeeded = ok && body.ok;
  // vuvedctl's own words follow, for the details (which server, which log, why it failed).
  show('server-message', (succeeded ? t(...done) : t('できませんでした: ', 'Failed: ')) + ' ' +
                         (body.message || body.error || ''), !succeeded);
  await loadState();
  await loadLog();
}

// ---- settings ----

function fieldValue(input) {
  if (input.type === 'checkbox') return input.checked ? '1' : '0';
  return input.value.trim();
}

function settingProblem(name, problem) {
  const definition = definitions[name] || {};
  switch (problem.code) {
    case 'range':
      return name.includes('Port')
        ? t(`${problem.minimum} から ${problem.maximum} までのポート番号を入力してください。`, problem.message)
        : t(`${problem.minimum} から ${problem.maximum} までの整数を入力してください。`, problem.message);
    case 'shift-jis':
    case 'utf8':
      return t('Shift_JIS で表せない文字が含まれています。', problem.message);
    case 'engine':
      return t('一覧にあるエンジンを選んでください。', problem.message);
    default:
      return problem.message || definition.meaning || problem.code;
  }
}

function showEngineFields() {
  const engine = document.getElementById('Engine').value || 'default';
  for (const field of document.querySelectorAll('[data-engines]')) {
    field.hidden = !field.dataset.engines.split(' ').includes(engine);
  }
}

async function loadSettings() {
  const {body} = await call('/api/settings');
  loadedValues = {};
  for (const setting of body.settings) {
    definitions[setting.name] = setting;
    const input = document.querySelector(`#settings [name="${CSS.escape(setting.name)}"]`);
    if (!input) continue;
    const value = setting.value !== null ? setting.value : (setting.type === 'number' ? setting.default : '');
    if (input.type === 'checkbox') {
      input.checked = value !== '0';
    } else {
      input.value = value;
      // Defaults that are a value (a key's variable name), not a description in parentheses, are shown greyed.
      if (setting.type === 'text' && !setting.default.startsWith('(')) input.placeholder = setting.default;
    }
    loadedValues[setting.name] = fieldValue(input);
  }
  showEngineFields();
}

async function saveSettings(event) {
  event.preventDefault();
  for (const problem of document.querySelectorAll('#settings .problem')) problem.textContent = '';
  const values = {};
  for (const input of document.querySelectorAll('#settings [name]')) {
    const value = fieldValue(input);
    if (value !== loadedValues[input.name]) values[input.name] = value;
  }
  if (Object.keys(values).length === 0) {
    show('settings-message', t('変更はありません。', 'Nothing has changed.'));
    return;
  }
  const {ok, body} = await call('/api/settings', {values});
  if (ok) {
    show('settings-message', t('保存しました。次に使われるときからサーバーに反映されます。',
                               'Saved. The server uses the new values from their next use.'));
    await loadSettings();
    return;
  }
  for (const [name, problem] of Object.entries(body.problems || {})) {
    const place = document.querySelector(`[data-problem="${CSS.escape(name)}"]`);
    if (place) place.textContent = settingProblem(name, problem);
  }
  show('settings-message', body.problems ? t('保存しませんでした。赤字の項目を直してください。',
                                             'Nothing was saved. Please correct the fields marked in red.')
                                         : body.error, true);
}

// ---- rule editor ----

const wordKinds = ['WordContainSubjectRule', 'UserContainFromRule', 'UserContainToRule', 'UserContainCcRule',
                   'WordContainMessageRule'];
const kinds = [
  ['WordContainSubjectRule', '件名', 'Subject'],
  ['UserContainFromRule', '差出人 (From)', 'Sender (From)'],
  ['UserContainToRule', '宛先 (To)', 'Recipient (To)'],
  ['UserContainCcRule', 'CC', 'Cc'],
  ['WordContainMessageRule', '本文の行', 'A body line'],
  ['ContentTypeMessageRule', 'MIME タイプ', 'MIME type'],
  ['CharsetMessageRule', '文字コード', 'Charset'],
  ['MailSizeRule', 'サイズ', 'Size'],
  ['PriorityMessageRule', '重要度 (X-Priority)', 'Priority (X-Priority)'],
];
const matchModes = [[1, 'を含む', 'contains'], [2, 'を含まない', 'does not contain'], [3, 'と等しい', 'is'],
                    [4, 'と異なる', 'is not'], [5, 'で始まる', 'begins with'], [6, 'で終わる', 'ends with']];
const valueChoices = {
  ContentTypeMessageRule: [[1, 'text/plain'], [2, 'multipart/mixed']],
  CharsetMessageRule: [[1, 'ISO-2022-JP'], [2, 'ISO-8859-1'], [3, 'US-ASCII'], [4, 'Shift_JIS']],
  PriorityMessageRule: [[1, '1 (最高)', '1 (highest)'], [2, '2 (高)', '2 (high)'], [3, '3 (普通)', '3 (normal)'],
                        [4, '4 (低)', '4 (low)'], [5, '5 (最低)', '5 (lowest)']],
};
const ruleProblems = {
  'name/empty': ['ペアの名前を入力してください。', 'Please give the pair a name.'],
  'name/blank': ['名前に空白は使えません。', 'A name cannot hold blanks.'],
  'name/not-shift-jis': ['Shift_JIS で表せない文字が含まれています。', 'Shift_JIS cannot hold some characters.'],
  'rules/empty': ['ルールを 1 つ以上追加してください。', 'Please add at least one rule.'],
  'rules/too-many': ['ルールは 3 つまでです。', 'A pair holds at most three rules.'],
  'text/empty': ['語句を入力してください。', 'Please enter the text to look for.'],
  'text/not-shift-jis': ['Shift_JIS で表せない文字が含まれています。', 'Shift_JIS cannot hold some characters.'],
  'value/out-of-range': ['値が範囲外です。', 'The value is out of range.'],
};

function newRule(kind, pair) {
  if (wordKinds.includes(kind)) {
    return {kind, text: '', matchMode: 1, caseSensitive: pair.caseSensitive, widthSensitive: pair.widthSensitive};
  }
  const firstValue = {ContentTypeMessageRule: 1, CharsetMessageRule: 1, MailSizeRule: 50, PriorityMessageRule: 1};
  return {kind, operator: 1, value: firstValue[kind]};
}

function element(tag, properties, ...children) {
  const made = document.createElement(tag);
  const {dataset = {}, role, ...plain} = properties;
  Object.assign(made, plain);
  Object.assign(made.dataset, dataset);
  if (role) made.setAttribute('role', role);
  for (const child of children) made.append(child);
  return made;
}

function select(name, choices, value, onChange) {
  const made = element('select', {name});
  for (const [optionValue, ja, en] of choices) {
    made.append(element('option', {value: String(optionValue), textContent: en ? t(ja, en) : ja}));
  }
  made.value = String(value);
  made.addEventListener('change', () => onChange(made.value));
  return made;
}

function checkbox(name, label, checked, onChange) {
  const box = element('input', {type: 'checkbox', name, checked});
  box.addEventListener('change', () => onChange(box.checked));
  return element('label', {className: 'inline'}, box, ' ' + label);
}

function problemPlace(field) {
  return element('span', {className: 'problem', role: 'alert', dataset: {field}});
}

function renderRule(pair, rule, ruleIndex) {
  const row = element('div', {className: 'rule', dataset: {rule: ruleIndex}});
  row.append(select('kind', kinds, rule.kind, (kind) => {
    pair.rules[ruleIndex] = newRule(kind, pair);
    renderPairs();
  }));
  if (wordKinds.includes(rule.kind)) {
    const text = element('input', {type: 'text', name: 'text', value: rule.text, className: 'rule-text'});
    text.addEventListener('input', () => { rule.text = text.value; });
    row.append(text, select('matchMode', matchModes, rule.matchMode, (mode) => { rule.matchMode = Number(mode); }),
               checkbox('caseSensitive', t('大文字と小文字を区別', 'match case'), rule.caseSensitive,
                        (on) => { rule.caseSensitive = on; }),
               checkbox('widthSensitive', t('全角と半角を区別', 'match width'), rule.widthSensitive,
                        (on) => { rule.widthSensitive = on; }),
               problemPlace('text'));
  } else if (rule.kind === 'MailSizeRule') {
    const limit = element('input', {type: 'text', name: 'value', value: rule.value, className: 'number',
                                    inputMode: 'numeric'});
    limit.addEventListener('input', () => { rule.value = Number(limit.value); });
    row.append(select('operator', [[1, 'より大きい', 'larger than'], [2, 'より小さい', 'smaller than']], rule.operator,
                      (op) => { rule.operator = Number(op); }),
               limit, t(' バイト', ' octets'), problemPlace('value'));
  } else if (rule.kind === 'PriorityMessageRule') {
    row.append(t(' が ', ' is '), select('value', valueChoices[rule.kind], rule.value,
                                          (value) => { rule.value = Number(value); }), problemPlace('value'));
  } else {
    row.append(select('operator', [[1, 'である', 'is'], [2, 'でない', 'is not']], rule.operator,
                      (op) => { rule.operator = Number(op); }),
               select('value', valueChoices[rule.kind], rule.value, (value) => { rule.value = Number(value); }),
               problemPlace('value'));
  }
  const remove = element('button', {type: 'button', className: 'small', textContent: t('ルールを削除', 'Remove rule')});
  remove.addEventListener('click', () => { pair.rules.splice(ruleIndex, 1); renderPairs(); });
  row.append(remove);
  return row;
}

function move(list, from, to) {
  if (to < 0 || to >= list.length) return;
  list.splice(to, 0, list.splice(from, 1)[0]);
  renderPairs();
}

function renderPair(pair, pairIndex) {
  const box = element('fieldset', {className: 'pair', dataset: {pair: pairIndex}});
  box.append(element('legend', {textContent: t(`ペア ${pairIndex + 1}`, `Pair ${pairIndex + 1}`)}));
  const name = element('input', {type: 'text', name: 'pairName', value: pair.name});
  name.addEventListener('input', () => { pair.name = name.value; });
  const head = element('div', {className: 'pair-head'},
    element('label', {className: 'inline'}, t('名前 ', 'Name '), name), problemPlace('name'),
    select('combination', [[1, 'すべてに一致', 'all rules match'], [2, 'どれかに一致', 'any rule matches']],
           pair.combination, (value) => { pair.combination = Number(value); }),
    // As in the rule text, a pair's flag is also every word rule's flag.
    checkbox('pairCaseSensitive', t('大文字と小文字を区別', 'match case'), pair.caseSensitive, (on) => {
      pair.caseSensitive = on;
      for (const rule of pair.rules) if (wordKinds.includes(rule.kind)) rule.caseSensitive = on;
      renderPairs();
    }),
    checkbox('pairWidthSensitive', t('全角と半角を区別', 'match width'), pair.widthSensitive, (on) => {
      pair.widthSensitive = on;
      for (const rule of pair.rules) if (wordKinds.includes(rule.kind)) rule.widthSensitive = on;
      renderPairs();
    }));
  box.append(head);
  pair.rules.forEach((rule, ruleIndex) => box.append(renderRule(pair, rule, ruleIndex)));
  box.append(problemPlace('rules'));
  const buttons = element('div', {className: 'buttons'});
  const addRule = element('button', {type: 'button', className: 'small', textContent: t('ルールを追加', 'Add rule'),
                                     disabled: pair.rules.length >= 3});
  addRule.addEventListener('click', () => { pair.rules.push(newRule('WordContainSubjectRule', pair)); renderPairs(); });
  const up = element('button', {type: 'button', className: 'small', textContent: '↑', title: t('上へ', 'Up')});
  up.addEventListener('click', () => move(pairs, pairIndex, pairIndex - 1));
  const down = element('button', {type: 'button', className: 'small', textContent: '↓', title: t('下へ', 'Down')});
  down.addEventListener('click', () => move(pairs, pairIndex, pairIndex + 1));
  const remove = element('button', {type: 'button', className: 'small', textContent: t('ペアを削除', 'Remove pair')});
  remove.addEventListener('click', () => { pairs.splice(pairIndex, 1); renderPairs(); });
  buttons.append(addRule, up, down, remove);
  box.append(buttons);
  return box;
}

function renderPairs() {
  const place = document.getElementById('pairs');
  place.replaceChildren(...pairs.map(renderPair));
  if (pairs.length === 0) {
    place.append(element('p', {className: 'hint', textContent: t('ルールはありません。', 'There are no rules.')}));
  }
}

function showRuleProblems(problems) {
  for (const problem of problems) {
    let scope = document.querySelector(`#pairs [data-pair="${problem.pair}"]`);
    if (problem.rule !== null && scope) scope = scope.querySelector(`[data-rule="${problem.rule}"]`);
    const place = scope && scope.querySelector(`[data-field="${problem.field}"]`);
    const words = ruleProblems[`${problem.field}/${problem.code}`] || [problem.code, problem.code];
    if (place) place.textContent = t(...words);
  }
}

async function loadRules() {
  const {body} = await call('/api/rules');
  pairs = body.pairs;
  renderPairs();
  document.getElementById('rule-text').value = body.text;
  if (!body.complete) show('rules-message', t('保存されているルールテキストは途中から読めません。',
                                              'The stored rule text cannot be read to its end.'), true);
}

async function saveRules() {
  renderPairs();
  const {ok, body} = await call('/api/rules', {pairs});
  if (ok) {
    document.getElementById('rule-text').value = body.text;
    show('rules-message', t('ルールを保存しました。', 'The rules are saved.'));
  } else {
    showRuleProblems(body.problems || []);
    show('rules-message', t('保存しませんでした。赤字の項目を直してください。',
                            'Nothing was saved. Please correct the fields marked in red.'), true);
  }
}

async function importRules() {
  const {ok, body} = await call('/api/rules/parse', {text: document.getElementById('rule-text').value});
  if (ok) {
    pairs = body.pairs;
    renderPairs();
    show('rule-text-message', t('読み込みました。「ルールを保存」で保存されます。',
                                'Read into the editor. "Save rules" stores them.'));
  } else if (body.problem && body.problem.code === 'not-text') {
    show('rule-text-message', t('テキストではありません。', 'This is not text.'), true);
  } else {
    const read = body.problem ? body.problem.pairsRead : 0;
    show('rule-text-message', t(`ルールテキストとして読めません (読めたのはペア ${read} まで)。`,
                                `This is not a rule text (readable up to pair ${read}).`), true);
  }
}

async function exportRules() {
  const {ok, body} = await call('/api/rules/format', {pairs});
  if (ok) {
    document.getElementById('rule-text').value = body.text;
    show('rule-text-message', t('書き出しました。', 'Written out.'));
  } else {
    renderPairs();
    showRuleProblems(body.problems || []);
    show('rule-text-message', t('赤字の項目を直してください。', 'Please correct the fields marked in red.'), true);
  }
}

// ---- start ----

async function closePage() {
  clearInterval(stateTimer);
  await call('/api/close', {});
  document.getElementById('main').hidden = true;
  document.getElementById('closed').hidden = false;
}

document.addEventListener('DOMContentLoaded', () => {
  document.getElementById('language').addEventListener('click', () => {
    language = language === 'en' ? 'ja' : 'en';
    localStorage.setItem('language', language);
    applyLanguage();
    loadState();
  });
  document.getElementById('close').addEventListener('click', closePage);
  for (const button of document.querySelectorAll('[data-action]')) {
    button.addEventListener('click', () => serverAction(button.dataset.action));
  }
  document.getElementById('settings').addEventListener('submit', saveSettings);
  document.getElementById('Engine').addEventListener('change', showEngineFields);
  document.getElementById('add-pair').addEventListener('click', () => {
    const pair = {name: '', combination: 1, caseSensitive: true, widthSensitive: true, rules: []};
    pair.rules.push(newRule('WordContainSubjectRule', pair));
    pairs.push(pair);
    renderPairs();
  });
  document.getElementById('save-rules').addEventListener('click', saveRules);
  document.getElementById('import-rules').addEventListener('click', importRules);
  document.getElementById('export-rules').addEventListener('click', exportRules);
  document.getElementById('rule-file').addEventListener('change', async (event) => {
    const file = event.target.files[0];
    if (file) document.getElementById('rule-text').value = await file.text();
  });
  document.getElementById('refresh-log').addEventListener('click', loadLog);
  applyLanguage();
  Promise.all([loadSettings(), loadRules(), loadState(), loadLog()]).then(() => {
    document.body.dataset.loaded = 'true';
  });
  stateTimer = setInterval(loadState, 3000);
});
