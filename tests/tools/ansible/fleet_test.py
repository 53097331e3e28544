#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The collection tarnwick.agent driven by ansible-playbook for real: an inventory of local
hosts, each with its own attribute file, managed through the built tarnwickctl.

The collection is installed from its tarball, offline, into a scratch directory; every run of
fleet.yml is checked by its recap line per host and by the files' bytes, and the output of the
diff and -vvv runs is searched for every secret, in clear and in the scrambled form stored.

usage: fleet_test.py --tarball T --tarnwickctl X --playbook P [--hosts N] [--keep]
exit status: 0 passed, 1 failed, 77 skipped (ansible-playbook or ansible-galaxy missing)
"""

import argparse
import json
import os
import re
import secrets
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
RECAP = re.compile(r'^(\S+)\s*:\s*ok=(\d+)\s+changed=(\d+)\s+unreachable=(\d+)\s+failed=(\d+)', re.M)


class Failure(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise Failure(what)


class Fleet:
    def __init__(self, args, scratch):
        self.args = args
        self.scratch = scratch
        self.hosts = ['agent%02d' % i for i in range(1, args.hosts + 1)]
        self.files = {h: os.path.join(scratch, 'files', h + '.cfg') for h in self.hosts}
        self.runs = 0
        os.makedirs(os.path.join(scratch, 'files'))
        os.makedirs(os.path.join(scratch, 'locks'), mode=0o700)
        with open(os.path.join(scratch, 'inventory.yml'), 'w') as f:
            json.dump({'agents': {
                'hosts': {h: {'agent_file': self.files[h]} for h in self.hosts},
                'vars': {'ansible_connection': 'local',
                         # The interpreter Ansible runs on, whatever python3 PATH finds first.
                         'ansible_python_interpreter': '{{ ansible_playbook_python }}'}}}, f)
        with open(os.path.join(scratch, 'ansible.cfg'), 'w') as f:
            f.write('[defaults]\ninventory = %s\ncollections_path = %s\nremote_tmp = %s\n'
                    'forks = 10\nretry_files_enabled = False\nnocolor = True\n'
                    % (os.path.join(scratch, 'inventory.yml'), os.path.join(scratch, 'collections'),
                       os.path.join(scratch, 'remote-tmp')))
        # Nothing of the caller's Ansible settings, nothing in the caller's home, and the
        # agents' lock under a name of this run's own.
        self.env = {k: v for k, v in os.environ.items() if not k.startswith('ANSIBLE_')}
        self.env.update(ANSIBLE_CONFIG=os.path.join(scratch, 'ansible.cfg'),
                        ANSIBLE_HOME=os.path.join(scratch, 'home'),
                        CORVANE_LOCK_PREFIX='tw-fleet-%d-' % os.getpid())

    def run(self, *command):
        proc = subprocess.run(command, env=self.env, cwd=self.scratch, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, universal_newlines=True)
        return proc.returncode, proc.stdout

    def play(self, name, attributes, password, *options, playbook=None, hosts=None):
        """Runs fleet.yml, or another playbook, on every host or those given; returns the
        whole output and {host: (changed, failed)}."""
        self.runs += 1
        variables = os.path.join(self.scratch, 'vars-%d.json' % self.runs)
        with open(variables, 'w') as f:
            json.dump({'tarnwickctl': self.args.tarnwickctl, 'agent_attributes': attributes,
                       'proxy_password': password}, f)
        start = time.monotonic()
        rc, out = self.run('ansible-playbook', '-e', '@' + variables, *options, playbook or self.args.playbook)
        print('%s: ansible-playbook %s: %.1f s' % (name, ' '.join(options), time.monotonic() - start))
        with open(os.path.join(self.scratch, 'run-%d-%s.log' % (self.runs, name)), 'w') as f:
            f.write(out)
        recap = {m.group(1): (int(m.group(3)), int(m.group(5))) for m in RECAP.finditer(out)}
        expect(sorted(recap) == (hosts or self.hosts), '%s: the recap names %s\n%s' % (name, sorted(recap), out[-3000:]))
        return out, recap

    def snapshot(self):
        """Each file's bytes and modification time."""
        result = {}
        for h, path in self.files.items():
            with open(path, 'rb') as f:
                result[h] = (f.read(), os.stat(path).st_mtime_ns)
        return result

    def stored_password(self, host):
        """The scrambled text stored for the proxy's password, and what it reveals."""
        with open(self.files[host]) as f:
            found = re.search(r'^ProxyPassword\s*=\s*(\S*)\s*$', f.read(), re.M)
        expect(found, '%s: no ProxyPassword line' % host)
        rc, out = self.run(self.args.tarnwickctl, 'get', 'ProxyPassword', '--reveal', '--file', self.files[host])
        expect(rc == 0, '%s: get --reveal: %s' % (host, out))
        return found.group(1), out.strip()


def all_hosts(recap, changed, failed, name):
    wrong = {h: r for h, r in recap.items() if r != (changed, failed)}
    expect(not wrong, '%s: expected changed=%d failed=%d on every host, got %s' % (name, changed, failed, wrong))


def no_secret(out, texts, name):
    shown = [t for t in texts if t in out]
    expect(not shown, '%s: the output shows %d secret text(s) in clear or scrambled form' % (name, len(shown)))


def module_options(fleet, known):
    """Options the module refuses before it runs the tool, one task each; a task without
    path, which applies to the file the tool locates; and one that names a section in both
    options, spelled in two ways, which is one section of the state; on one host."""
    secret = secrets.token_hex(8)
    cases = [  # attributes, secrets, what the failure says
        # Names compare without regard to case, as in the file: the same key.
        ({'Http_Proxy': {'ProxyPassword': 'x'}}, {'http_proxy': {'proxypassword': secret}},
         'named both in attributes and in secrets'),
        ({}, {'Http_Proxy': {'ProxyPassword': None}}, 'has no value; to remove it'),
        ({'Agent': {'TimeOut': [1, 2]}}, {}, 'TimeOut is list'),
        ({}, {'Http_Proxy': {'ProxyPassword': [secret]}}, 'ProxyPassword is list'),
        ({'Agent': 'srv.example'}, {}, '[Agent] holds str'),
    ]
    host = fleet.hosts[0]
    located = os.path.join(fleet.scratch, 'located')
    os.mkdir(located)
    merged = os.path.join(fleet.scratch, 'merged.cfg')
    playbook = os.path.join(fleet.scratch, 'refused.json')
    with open(playbook, 'w') as f:
        json.dump([{'hosts': host, 'gather_facts': False, 'tasks': [
            {'tarnwick.agent.attribs': {'path': '{{ agent_file }}', 'executable': '{{ tarnwickctl }}',
                                        'attributes': a, 'secrets': p}, 'ignore_errors': True}
            for a, p, _ in cases] + [
            {'tarnwick.agent.attribs': {'executable': '{{ tarnwickctl }}',
                                        'attributes': {'Agent': {'TimeOut': 33}}},
             'environment': {'QZ_CFG_FILE_PATH': located}},
            {'tarnwick.agent.attribs': {'path': merged, 'executable': '{{ tarnwickctl }}',
                                        'attributes': {'Http_Proxy': {'ProxyPort': '8080'}},
                                        'secrets': {'http_proxy': {'ProxyPassword': secret}}}}]}], f)
    before = fleet.snapshot()
    out, recap = fleet.play('module-options', {}, secret, playbook=playbook, hosts=[host])
    expect(out.count('...ignoring') == len(cases) and recap[host] == (2, 0),
           'not every bad option failed, or a task that should change did not:\n' + out[-3000:])
    with open(os.path.join(located, 'k_agent_attribs.cfg')) as f:
        expect('\nTimeOut=33\n' in f.read(), 'the task without path did not reach the located file')
    with open(merged) as f:
        expect('\nProxyPort=8080\n' in f.read(), 'the section named in both options was not applied')
    rc, revealed = fleet.run(fleet.args.tarnwickctl, 'get', 'ProxyPassword', '--reveal', '--file', merged)
    expect(rc == 0 and revealed.strip() == secret, 'the secret of the section named in both options is not stored')
    missing = [why for _, _, why in cases if why not in out]
    expect(not missing, 'the failures do not say %s:\n%s' % (missing, out[-3000:]))
    expect(fleet.snapshot() == before, 'a refused option wrote a file')
    no_secret(out, known + [secret], 'refused options')


def test(fleet):
    rc, out = fleet.run('ansible-galaxy', 'collection', 'install', '--offline', '-p',
                        os.path.join(fleet.scratch, 'collections'), fleet.args.tarball)
    expect(rc == 0, 'the tarball does not install offline:\n' + out)
    rc, out = fleet.run('ansible-doc', 'tarnwick.agent.attribs')
    expect(rc == 0 and all(w in out for w in ('OPTIONS', '- executable', '- secrets', 'EXAMPLES', 'RETURN VALUES')),
           'ansible-doc does not read the module:\n' + out)

    # Half the hosts start with a file of their own (a comment that must survive), half with none.
    for i, h in enumerate(fleet.hosts):
        if i % 2:
            with open(fleet.files[h], 'w') as f:
                f.write('; kept by the agent team\n[Agent]\nServerMachine=old.example\n')
    first = secrets.token_hex(8)
    state = {'Agent': {'ServerMachine': 'srv.example', 'TimeOut': '45'},
             'Http_Proxy': {'Proxy': 'True', 'ProxyName': 'proxy.example', 'ProxyPort': '3128'}}

    out, recap = fleet.play('first', state, first)
    all_hosts(recap, 1, 0, 'first run')
    scrambled = set()
    for i, h in enumerate(fleet.hosts):
        with open(fleet.files[h]) as f:
            text = f.read()
        expect('ServerMachine=srv.example\n' in text and 'TimeOut=45\n' in text and 'ProxyPort=3128\n' in text,
               '%s: the state is not in the file:\n%s' % (h, text))
        expect(not i % 2 or text.startswith('; kept by the agent team\n'), '%s: the comment was lost' % h)
        expect(first not in text, '%s: the secret is stored in clear' % h)
        stored, revealed = fleet.stored_password(h)
        expect(stored and revealed == first, '%s: the stored password does not reveal the secret' % h)
        scrambled.add(stored)
    no_secret(out, [first] + sorted(scrambled), 'first run')

    before = fleet.snapshot()
    out, recap = fleet.play('again', state, first)
    all_hosts(recap, 0, 0, 'second run')
    expect(fleet.snapshot() == before, 'the second run rewrote a file')

    # Check mode with the applied state but a new secret: the secret alone is the change.
    second = secrets.token_hex(8)
    out, recap = fleet.play('check', state, second, '--check', '--diff')
    all_hosts(recap, 1, 0, 'check mode')
    expect(fleet.snapshot() == before, 'check mode wrote a file')
    expect('+ProxyPassword=(secret, changed)' in out and '+TimeOut' not in out,
           'check mode does not show the new secret alone:\n' + out[-3000:])
    no_secret(out, [first, second] + sorted(scrambled), 'check mode')

    state['Agent']['TimeOut'] = '60'
    out, recap = fleet.play('diff', state, second, '--diff', '-vvv')
    all_hosts(recap, 1, 0, 'diff run')
    expect('+TimeOut=60' in out and '-TimeOut=45' in out, 'the diff run shows no diff:\n' + out[-3000:])
    expect('VALUE_SPECIFIED_IN_NO_LOG_PARAMETER' in out, 'the -vvv run shows no module arguments')
    renewed = set()
    for h in fleet.hosts:
        stored, revealed = fleet.stored_password(h)
        expect(revealed == second and stored not in scrambled, '%s: the new secret was not stored' % h)
        renewed.add(stored)
    scrambled |= renewed
    no_secret(out, [first, second] + sorted(scrambled), 'diff run')

    # One refused entry among good ones: every host fails with the tool's words, none writes.
    before = fleet.snapshot()
    third = secrets.token_hex(8)
    bad = {'Agent': {'TimeOut': '75'}, 'Agnet': {'TimeOut': '30'}}
    out, recap = fleet.play('refused', bad, third, '--diff')
    all_hosts(recap, 0, 1, 'refused state')
    expect(fleet.snapshot() == before, 'a refused state wrote a file')
    expect(out.count('Agnet') >= len(fleet.hosts) and re.search(r'"rc": [1-9]', out),
           'the failures do not give the tool\'s words and status:\n' + out[-3000:])
    no_secret(out, [first, second, third] + sorted(scrambled), 'refused state')
    module_options(fleet, [first, second, third] + sorted(scrambled))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--tarball', required=True)
    parser.add_argument('--tarnwickctl', required=True)
    parser.add_argument('--playbook', required=True)
    parser.add_argument('--hosts', type=int, default=20)
    parser.add_argument('--keep', action='store_true', help='keep the scratch directory')
    args = parser.parse_args()
    # The runs work in the scratch directory.
    args.tarball, args.tarnwickctl, args.playbook = map(os.path.abspath, (args.tarball, args.tarnwickctl, args.playbook))
    for tool in ('ansible-playbook', 'ansible-galaxy', 'ansible-doc'):
        if not shutil.which(tool):
            print('skipped: %s is not installed (scripts/install-deps installs ansible-core)' % tool)
            return SKIP
    scratch = tempfile.mkdtemp(prefix='tw-fleet-')
    try:
        test(Fleet(args, scratch))
    except Failure as e:
        print('FAILED: %s' % e)
        print('scratch directory: %s' % scratch if args.keep else '')
        return 1
    finally:
        if not args.keep:
            shutil.rmtree(scratch, ignore_errors=True)
    print('passed: %d hosts' % args.hosts)
    return 0


if __name__ == '__main__':
    sys.exit(main())
