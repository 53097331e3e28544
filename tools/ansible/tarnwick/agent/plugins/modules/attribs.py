#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-License-Identifier: Apache-2.0

# The desired state of an agent attribute file, applied by tarnwickctl in one call.

from __future__ import absolute_import, division, print_function
__metaclass__ = type


DOCUMENTATION = r'''
---
module: attribs
short_description: Set, remove and scramble the attributes of a tarnwick agent file
version_added: "0.1.0"
description:
  - Brings the agent attribute file of a host to the state given, in one call of
    C(tarnwickctl apply --json), inside the machine-wide lock that the agents take. Nothing
    is written when nothing changes. Otherwise a missing or incomplete file is first created
    or completed by the library's own save, as happens when the agent opens it, and the state
    is then applied in one save.
  - All or nothing; when the tool refuses any entry (an unknown section, a key of the schema
    named in another section than its own, a name or value the file cannot hold), the task
    fails with the tool's words and exit status, and the file stays as it was.
  - Comments, the order of lines and every key that the state does not name are kept.
  - A missing file is created with every default, and an existing one gains the keys of the
    schema it lacks, as happens when the agent opens it.
  - The state reaches the tool on its standard input, never on its command line, where other
    users of the host could read it.
options:
  path:
    description:
      - The attribute file.
      - Without it, the file the agent opens, as C(tarnwickctl path) prints it (the directory
        named by C(QZ_CFG_FILE_PATH), else the one the installation's path resolver gives, else
        the temporary directory). Set C(QZ_CFG_FILE_PATH) with the task's C(environment) keyword where it
        matters.
    type: path
  attributes:
    description:
      - 'The keys to set or remove, as sections of keys, for example
        C({"Agent": {"ServerMachine": "srv.example", "LegacyKey": null}}).'
      - A value sets the key; null (C(~) or C(null) in YAML) removes it. Numbers and booleans
        are written as text, a YAML C(true) as C(True); quote a value to be sure of its text.
      - A key of the schema that is removed gets its default again the next time the agent
        opens the file.
      - Sections and keys that are not named are left alone.
    type: dict
    default: {}
  secrets:
    description:
      - 'Values to store scrambled, as sections of keys, for example
        C({"Http_Proxy": {"ProxyPassword": "{{ vault_proxy_password }}"}}).'
      - A secret counts as unchanged when the stored value unscrambles to the same text, so
        running the play again writes nothing.
      - A secret appears nowhere, neither in clear nor scrambled, in the task's result, its
        changes, its diff or the tool's command line.
      - Scrambling can be undone; it is not encryption. The file's permissions protect it.
      - A key is named in I(attributes) or in I(secrets), not in both. To remove a secret,
        give it as null in I(attributes).
      - Section and key names compare without regard to ASCII case, as in the file, so
        C(http_proxy) here and C(Http_Proxy) in I(attributes) are one section.
    type: dict
    default: {}
  executable:
    description:
      - The C(tarnwickctl) to run; by default the one found on C(PATH).
    type: path
requirements:
  - C(tarnwickctl) with the C(apply) command on the managed host.
notes:
  - Windows hosts need another way; the section "Managing many machines" of tarnwick's own
    README (not this collection's) shows a play that drives C(tarnwickctl.exe apply --json)
    through C(ansible.windows.win_command).
attributes:
  check_mode:
    description: Reports what would change, writing nothing.
    support: full
  diff_mode:
    description: Returns the file before and after, every secret masked.
    support: full
  platform:
    description: The managed hosts it runs on.
    support: full
    platforms: posix
author:
  - tarnwick developers
'''

EXAMPLES = r'''
- name: Point every agent at the new server, through the proxy
  tarnwick.agent.attribs:
    attributes:
      Agent:
        ServerMachine: srv.example
        TimeOut: "45"
        LegacyKey: null          # removed
      Http_Proxy:
        Proxy: "True"
        ProxyName: proxy.example
        ProxyPort: "3128"
    secrets:
      Http_Proxy:
        ProxyPassword: "{{ vault_proxy_password }}"

- name: A file of its own, and a tarnwickctl that is not on PATH
  tarnwick.agent.attribs:
    path: /opt/agent/etc/k_agent_attribs.cfg
    executable: /opt/agent/bin/tarnwickctl
    attributes:
      Agent:
        ChannelType: TCP

- name: What would change, writing nothing
  tarnwick.agent.attribs:
    attributes:
      Agent:
        TimeOut: "60"
  check_mode: true
  diff: true
  register: planned

- name: Name the keys that would change
  ansible.builtin.debug:
    msg: "{{ planned.changes | map(attribute='key') | list }}"
'''

RETURN = r'''
changes:
  description:
    - What changed, or in check mode what would change, one entry per key.
    - Entries carry no values, so a secret's entry names only its section and key.
  returned: success
  type: list
  elements: dict
  sample:
    - {"section": "Agent", "key": "TimeOut", "action": "set", "scrambled": false}
    - {"section": "Http_Proxy", "key": "ProxyPassword", "action": "set", "scrambled": true}
  contains:
    section:
      description: The section of the key.
      type: str
    key:
      description: The key.
      type: str
    action:
      description:
        - C(add) for a key the file lacked (defaults the tool adds to complete the file
          included), C(set) for a new value, C(remove) for a key removed.
      type: str
    scrambled:
      description: Whether the key holds a secret.
      type: bool
diff:
  description:
    - In diff mode, the file before and after, every secret masked in clear and scrambled
      form alike, as C((secret)), or C((secret, changed)) where it changes. Ansible shows it
      as a unified diff.
  returned: success, in diff mode
  type: dict
  contains:
    before:
      description: The file as it was.
      type: str
    after:
      description: The file as it is, or in check mode as it would be.
      type: str
path:
  description: The file the state was applied to, when the task or the tool names it.
  returned: success, when known
  type: str
  sample: /var/lib/agent/k_agent_attribs.cfg
rc:
  description: The tool's exit status when it failed.
  returned: failure
  type: int
'''

import json
import string

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.six import binary_type, integer_types, string_types
from ansible.module_utils.common.text.converters import to_text


def value_text(value):
    """The text a value of the play is stored as, or None when it has no text form."""
    if isinstance(value, bool):  # before int: a bool is an int
        return 'True' if value else 'False'
    if isinstance(value, integer_types):
        return str(value)
    if isinstance(value, (string_types, binary_type)):
        return to_text(value, errors='surrogate_or_strict')
    return None


# Names compare as the tool compares them: ASCII letters without regard to case, every other
# character as it stands.
FOLD = dict(zip(map(ord, string.ascii_uppercase), string.ascii_lowercase))


def desired_state(module, attributes, secrets):
    """The JSON state that apply reads: sections of keys, each a text, null or
    {"scrambled": text}; a section named in both options, in any case, is one section of
    the state, spelled as first named. Messages name sections, keys and types, never a
    value."""
    state = {}
    merged = {}  # folded section name -> (its entries in the state, {folded key: option})
    for option, sections in (('attributes', attributes), ('secrets', secrets)):
        for section, keys in sections.items():
            if not isinstance(section, string_types):
                module.fail_json(msg='%s: a section name is text, not %s' % (option, type(section).__name__))
            if not isinstance(keys, dict):
                module.fail_json(msg='%s: [%s] holds %s, not keys and their values'
                                 % (option, section, type(keys).__name__))
            if section.translate(FOLD) not in merged:
                merged[section.translate(FOLD)] = (state.setdefault(section, {}), {})
            entries, named = merged[section.translate(FOLD)]
            for key, value in keys.items():
                if not isinstance(key, string_types):
                    module.fail_json(msg='%s: [%s] has a key that is %s, not text'
                                     % (option, section, type(key).__name__))
                where = '[%s] %s' % (section, key)
                earlier = named.get(key.translate(FOLD))
                if earlier == option:
                    module.fail_json(msg='%s: %s is named twice (names compare without regard to case)'
                                     % (option, where))
                if earlier:
                    module.fail_json(msg='%s is named both in attributes and in secrets' % where)
                named[key.translate(FOLD)] = option
                if value is None:
                    if option == 'secrets':
                        module.fail_json(msg='secrets: %s has no value; to remove it, give it as null '
                                             'in attributes' % where)
                    entries[key] = None
                    continue
                text = value_text(value)
                if text is None:
                    module.fail_json(msg='%s: %s is %s; a value is text, a number or a boolean'
                                     % (option, where, type(value).__name__))
                entries[key] = {'scrambled': text} if option == 'secrets' else text
    return state


def main():
    module = AnsibleModule(
        argument_spec=dict(
            path=dict(type='path'),
            attributes=dict(type='dict', default={}),
            secrets=dict(type='dict', default={}, no_log=True),
            executable=dict(type='path'),
        ),
        supports_check_mode=True,
    )
    params = module.params
    state = desired_state(module, params['attributes'], params['secrets'])

    tool = params['executable'] or module.get_bin_path('tarnwickctl', required=True)
    args = [tool, 'apply', '--json']
    if params['path']:
        args.append('--file=' + params['path'])
    if module.check_mode:
        args.append('--check')
    if module._diff:
        args.append('--diff')
    # The state, secrets and all, goes through standard input only.
    args += ['--', '-']
    rc, out, err = module.run_command(args, data=json.dumps(state, ensure_ascii=False),
                                      binary_data=True)

    if rc != 0:
        module.fail_json(msg=err.strip() or 'tarnwickctl apply failed with exit status %d' % rc,
                         rc=rc, stderr=err)
    try:
        result = json.loads(out)
        changed = result['changed']
        changes = result.get('changes', [])
        if not isinstance(changed, bool) or not isinstance(changes, list):
            raise ValueError
    except (ValueError, KeyError, TypeError):
        module.fail_json(msg='tarnwickctl apply succeeded but printed no result this module reads '
                             '(is it older than the apply command?)', rc=rc, stderr=err)

    ret = dict(changed=changed, changes=changes)
    path = result.get('file') or params['path']
    if path:
        ret['path'] = path
    if module._diff and isinstance(result.get('diff'), dict):
        diff = dict(before=result['diff'].get('before', ''), after=result['diff'].get('after', ''))
        if path:
            diff['before_header'] = diff['after_header'] = path
        ret['diff'] = diff
    for line in err.splitlines():
        if line.strip():
            module.warn(line.strip())
    module.exit_json(**ret)


if __name__ == '__main__':
    main()
